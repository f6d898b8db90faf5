// The secondary windows: creation, placement, the earlier series' windows and the window lists.
#include "ui/window_manager.h"

#include "base/numbers.h"
#include "session/montage_rules.h"
#include "ui/path_text.h"

#include <QAction>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>

#include <algorithm>

namespace orv {

namespace {

// Captions and names keep their bytes (see path_text.h).
QString qs(const std::string& s) { return pathText(s); }

QRect availableFor(const QWidget* w) {
    const QScreen* screen = w->screen() ? w->screen() : QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
}

} // namespace

WindowManager::WindowManager(QWidget* mainWindow, std::optional<QPoint>& dragState, const LayoutRecord& layout)
    : QObject(mainWindow), main_(mainWindow), dragState_(dragState), layout_(layout) {}

// --- source windows ------------------------------------------------------------------------------

FormPicture* WindowManager::sourceWindow(int k) {
    FormPicture*& w = pictures_[std::size_t(k)];
    if (!w) {
        w = new FormPicture(k, main_, dragState_, OffsetTarget::initial(layout_.twipsPerPixel, layout_.twipsPerPixelY));
        w->setTargetColor(targetColor_);
        w->setTargetShown(targetsShown_);
        connect(w, &FormPicture::targetMoved, this, &WindowManager::targetMoved);
        connect(w, &PictureWindow::closed, this, [this](const QString& caption) {
            sourceList_.remove(pathBytes(caption));
            emit sourceListChanged();
        });
        connect(w, &PictureWindow::commandRequested, this, [this, w](Command c) { emit sourceCommand(c, w); });
        connect(w, &PictureWindow::focusHandOff, this, [this, w] {
            front_ = w;
            emit focusHandOff();
        });
    }
    return w;
}

int WindowManager::sourceSlotOf(const QString& caption) const {
    for (int n = 1; n <= kMaxPictures; ++n)
        if (FormPicture* w = existingSourceWindow(n); w && w->windowTitle() == caption) return n;
    return 0;
}

void WindowManager::cascadeSourceWindows(int count, int fileBoxBottom, const LayoutRecord& layout) {
    unloadSourceWindowsFrom(count + 1);
    for (int k = 1; k <= count; ++k) {
        placeSourceWindow(k, fileBoxBottom, layout);
        FormPicture* w = sourceWindow(k);
        w->showNormal();
        w->raise();
    }
}

void WindowManager::placeSourceWindow(int k, int fileBoxBottom, const LayoutRecord& layout) {
    FormPicture* w = sourceWindow(k);
    const QImage& pic = w->PictureFile()->picture();
    const Placement p = cascadePlacement(k, fileBoxBottom, pic.width(), pic.height(), layout);
    w->placeAt(p.left, p.top);
}

void WindowManager::unloadSourceWindowsFrom(int first) {
    for (int k = std::max(first, 1); k <= kMaxPictures; ++k)
        if (FormPicture* w = existingSourceWindow(k)) w->unloadPicture();
}

// --- offset targets ------------------------------------------------------------------------------

void WindowManager::setTargetColor(std::uint32_t colour) {
    targetColor_ = colour & 0xFFFFFF;
    for (int k = 1; k <= kMaxPictures; ++k)
        if (FormPicture* w = existingSourceWindow(k)) w->setTargetColor(targetColor_);
}

void WindowManager::setTargetsShown(bool shown) {
    targetsShown_ = shown;
    for (int k = 1; k <= kMaxPictures; ++k) {
        FormPicture* w = shown ? sourceWindow(k) : existingSourceWindow(k);
        if (w) w->setTargetShown(shown);
    }
}

OffsetTable WindowManager::targetCentres() const {
    OffsetTable centres{};
    const OffsetTarget initial = OffsetTarget::initial(layout_.twipsPerPixel, layout_.twipsPerPixelY);
    for (int k = 1; k <= kMaxPictures; ++k) {
        const FormPicture* w = existingSourceWindow(k);
        const QRectF t = w ? w->offsetTarget()
                           : QRectF(initial.outer.left, initial.outer.top, initial.outer.width, initial.outer.height);
        centres[std::size_t(k)] = markerCentre(t.left(), t.top(), t.width(), t.height());
    }
    return centres;
}

std::vector<std::pair<int, ImageOffset>> WindowManager::visibleTargetCentres() const {
    std::vector<std::pair<int, ImageOffset>> out;
    for (int k = 1; k <= kMaxPictures; ++k)
        if (FormPicture* w = existingSourceWindow(k); w && w->isVisible()) out.emplace_back(k, w->target().centre());
    return out;
}

// --- montage windows -----------------------------------------------------------------------------

void WindowManager::connectMontageWindow(FormMontagePicture* w) {
    QPointer<FormMontagePicture> guarded(w);
    connect(w, &FormMontagePicture::commandRequested, this, [this, guarded](Command c) {
        if (guarded) emit montageCommand(c, guarded);
    });
    // A closed montage window leaves the window list; its properties go with it.
    connect(w, &PictureWindow::closed, this, [this, guarded] {
        if (guarded && guarded->mnuProperties()->isChecked()) closePropertiesView();
        emit windowsChanged();
    });
    connect(w, &PictureWindow::focusHandOff, this, [this, guarded] {
        front_ = guarded.data();
        emit focusHandOff();
    });
    w->setCloseGuard([this, w] { return !montageCloseGuard_ || montageCloseGuard_(w); });
}

FormMontagePicture* WindowManager::montageWindow() {
    if (auto* w = madeMontageWindow()) return w;
    auto* w = new FormMontagePicture(main_);
    connectMontageWindow(w);
    montage_ = w;
    return w;
}

FormUsed* WindowManager::usedWindow() {
    if (auto* w = qobject_cast<FormUsed*>(used_.data())) return w;
    auto* w = new FormUsed(main_);
    connect(w, &FormUsed::focusHandOff, this, &WindowManager::focusHandOff);
    used_ = w;
    return w;
}

FormPreview* WindowManager::previewWindow() {
    if (auto* w = qobject_cast<FormPreview*>(preview_.data())) return w;
    FormPreview* w = sparePreview_.data();
    sparePreview_.clear();
    if (w) {
        w->makeNew();
    } else {
        w = new FormPreview(main_);
        connect(w, &PictureWindow::closed, this, &WindowManager::windowsChanged);
        w->addActions(previewKeys_);
    }
    // The preview sits in the screen's lower right corner, clear of the source windows' cascade.
    const QRect avail = availableFor(w);
    w->move(std::max(avail.left(), avail.right() - w->width() - 8),
            std::max(avail.top(), avail.bottom() - w->height() - 32));
    preview_ = w;
    return w;
}

FormProperties* WindowManager::propertiesWindow() {
    if (auto* w = qobject_cast<FormProperties*>(properties_.data())) return w;
    auto* w = new FormProperties(dragState_, montageWindow());
    connect(w, &FormProperties::focusHandOff, this, &WindowManager::focusHandOff);
    properties_ = w;
    return w;
}

FormMontagePicture* WindowManager::madeMontageWindow() const { return qobject_cast<FormMontagePicture*>(montage_.data()); }

FormMontagePicture* WindowManager::comparisonWindow(int k) const {
    if (k < 0 || k >= kComparisonMontages) return nullptr;
    return qobject_cast<FormMontagePicture*>(comparison_[std::size_t(k)].data());
}

FormUsed* WindowManager::comparisonUsedWindow(int k) const {
    if (k < 0 || k >= kComparisonMontages) return nullptr;
    return qobject_cast<FormUsed*>(comparisonUsed_[std::size_t(k)].data());
}

FormMontagePicture* WindowManager::makeComparisonWindow(int k) {
    if (FormMontagePicture* w = comparisonWindow(k)) return w;
    auto* w = new FormMontagePicture(main_);
    w->setComparison(k);
    connectMontageWindow(w);
    comparison_[std::size_t(k)] = w;
    auto* used = new FormUsed(main_);
    connect(used, &FormUsed::focusHandOff, this, &WindowManager::focusHandOff);
    comparisonUsed_[std::size_t(k)] = used;
    return w;
}

FormUsed* WindowManager::mapWindowOf(std::optional<int> comparison) {
    return comparison ? comparisonUsedWindow(*comparison) : usedWindow();
}

FormMontagePicture* WindowManager::montageWindowOf(std::optional<int> comparison) {
    return comparison ? comparisonWindow(*comparison) : montageWindow();
}

int WindowManager::frameHeight(const QWidget* w, int sizingFrame) const {
    // The window's own once it has been on screen. Before that it has no frame yet: the main
    // window's, which the window manager decorates alike, tells how tall it will be; the layout's
    // estimate when that is larger.
    return std::max({w->frameGeometry().height() - w->height(), main_->frameGeometry().height() - main_->height(),
                     layout_.captionHeight + 2 * sizingFrame});
}

void WindowManager::placeMontageWindows(float W, float H, int increment, int top, int sizingFrame, bool showMap) {
    // The montage window: its picture at full size, the right edge one frame width inside the
    // screen's right edge, the top just below the "Make Montage" button.
    FormMontagePicture* m = montageWindow();
    m->setBlankPicture(roundToInt16(W), roundToInt16(H));
    // Below the button it gets the room left there: as high as the whole screen, its scroll bar and
    // zoom strip would lie past the screen's bottom edge.
    m->fitToPicture(top);
    const QRect avail = availableFor(m);
    const int outerWidth = m->width() + 2 * sizingFrame;
    m->move(std::max(avail.left(), avail.right() + 1 - sizingFrame - outerWidth), top);

    // The dominant-image window: one character per block, starting empty, below the montage
    // window's frame, or at the screen's lower left when it does not fit there whole.
    FormUsed* used = usedWindow();
    const MapGrid grid = mapGrid(W, H, increment);
    used->setMapText("");
    used->sizeForGrid(grid.columns, grid.rows);
    const int outerHeight = used->height() + frameHeight(used, sizingFrame);
    QPoint at(m->frameGeometry().left(), m->y() + m->height() + frameHeight(m, sizingFrame) + 4);
    if (at.y() + outerHeight > avail.bottom() + 1) at = QPoint(avail.left(), avail.bottom() + 1 - outerHeight);
    used->move(std::max(avail.left(), std::min(at.x(), avail.right() - used->width())), std::max(avail.top(), at.y()));
    used->setVisible(showMap);
}

void WindowManager::keepComparison(int k, const std::string& caption, QImage picture, const std::string& mapText) {
    FormMontagePicture* main = montageWindow();
    FormMontagePicture* w = makeComparisonWindow(k);
    w->PictureFile()->setPicture(std::move(picture));
    w->fitToPicture();
    w->setWindowTitle(qs(caption));
    FormUsed* mainMap = usedWindow();
    FormUsed* map = comparisonUsedWindow(k);
    map->setMapFontSize(mainMap->mapFontSize());
    map->setMapText(mapText);
    map->resize(mainMap->size());
    // The copies fan out to the lower left of the main montage window.
    const QPoint at = main->pos() + QPoint(-28 * (k + 1), 28 * (k + 1));
    w->move(std::max(0, at.x()), std::max(0, at.y()));
    map->move(std::max(0, at.x() - map->width() - 8), std::max(0, at.y()));
    w->show();
    if (mainMap->isVisible()) map->show();
    QCoreApplication::processEvents();
}

// --- earlier windows -----------------------------------------------------------------------------

void WindowManager::hideSourceWindowsFrom(int first) {
    for (int k = std::max(1, first); k <= kMaxPictures; ++k) {
        try {
            if (FormPicture* w = existingSourceWindow(k)) w->hide();
        } catch (...) {
        }
    }
}

void WindowManager::dropEarlierSeriesWindows(bool unloadPreview) {
    for (auto& w : comparison_) unloadWindow(w);
    for (auto& w : comparisonUsed_) unloadWindow(w);
    if (unloadPreview) this->unloadPreview();
}

void WindowManager::unloadPreview() {
    // Unloaded as far as anyone can tell (hidden, out of the window lists, made new when next
    // wanted), but kept for that.
    try {
        if (auto* p = qobject_cast<FormPreview*>(preview_.data())) {
            p->close();
            if (sparePreview_ && sparePreview_ != p) sparePreview_->deleteLater();
            sparePreview_ = p;
        }
        preview_.clear();
    } catch (...) {
    }
}

void WindowManager::hideMontageWindows() {
    for (QWidget* w : {montage_.data(), used_.data(), properties_.data()})
        if (w) w->hide();
    closePropertiesView();
}

void WindowManager::hideAll() {
    for (int k = 1; k <= kMaxPictures; ++k)
        if (FormPicture* w = existingSourceWindow(k)) w->hide();
    for (QWidget* w : {montage_.data(), used_.data(), properties_.data(), preview_.data()})
        if (w) w->hide();
    for (auto& w : comparison_)
        if (w) w->hide();
    for (auto& w : comparisonUsed_)
        if (w) w->hide();
}

void WindowManager::unloadWindow(QPointer<QWidget>& w) {
    try {
        if (w) {
            // What the window held was asked about before the program let it go.
            if (auto* p = qobject_cast<PictureWindow*>(w.data())) p->setCloseGuard({});
            w->close();
            w->deleteLater();
        }
        w.clear();
    } catch (...) {
    }
}

// --- properties ----------------------------------------------------------------------------------

void WindowManager::closePropertiesView() {
    if (auto* p = qobject_cast<FormProperties*>(properties_.data())) p->hide();
    if (auto* m = qobject_cast<FormMontagePicture*>(montage_.data())) m->mnuProperties()->setChecked(false);
    for (int k = 0; k < int(comparison_.size()); ++k)
        if (FormMontagePicture* c = comparisonWindow(k)) c->mnuProperties()->setChecked(false);
}

void WindowManager::showProperties(FormMontagePicture* window, const std::string& text) {
    closePropertiesView();
    window->mnuProperties()->setChecked(true);
    FormProperties* p = propertiesWindow();
    p->setText(text);
    p->showBeside(window);
}

void WindowManager::updateProperties(FormMontagePicture* window, const std::string& text) {
    if (window && window->mnuProperties()->isChecked())
        if (auto* p = qobject_cast<FormProperties*>(properties_.data())) p->setText(text);
}

// --- window lists --------------------------------------------------------------------------------

std::vector<std::string> WindowManager::sourceCaptions() {
    std::vector<std::string> visible;
    for (int k = 1; k <= kMaxPictures; ++k)
        if (FormPicture* w = existingSourceWindow(k); w && w->isVisible())
            visible.push_back(pathBytes(w->windowTitle()));
    sourceList_.rebuild(visible);
    return sourceList_.entries();
}

std::vector<std::string> WindowManager::montageCaptions() const {
    auto captionIfVisible = [](const QPointer<QWidget>& w) -> std::optional<std::string> {
        if (w && w->isVisible()) return pathBytes(w->windowTitle());
        return std::nullopt;
    };
    std::vector<std::optional<std::string>> comparison;
    for (const auto& w : comparison_) comparison.push_back(captionIfVisible(w));
    return montageWindowCaptions(captionIfVisible(montage_), comparison, preview_ && preview_->isVisible());
}

void WindowManager::bringSourceToFront(const QString& caption) {
    if (const int k = sourceSlotOf(caption)) {
        pictures_[std::size_t(k)]->showNormal();
        pictures_[std::size_t(k)]->raise();
        front_ = pictures_[std::size_t(k)];
    }
}

void WindowManager::bringMontageToFront(const QString& caption) {
    auto front = [this](QWidget* w) {
        w->showNormal();
        w->raise();
        front_ = qobject_cast<PictureWindow*>(w);
    };
    if (montage_ && montage_->windowTitle() == caption) {
        front(montage_);
        return;
    }
    for (const auto& w : comparison_)
        if (w && w->windowTitle() == caption) {
            front(w);
            return;
        }
    if (caption == QLatin1String(kPreviewEntry) && preview_) front(preview_);
}

PictureWindow* WindowManager::keyboardPictureWindow() const {
    if (front_ && front_->isVisible()) return front_;
    if (auto* m = qobject_cast<PictureWindow*>(montage_.data()); m && m->isVisible()) return m;
    return nullptr;
}

FormMontagePicture* WindowManager::keyboardMontageWindow() const {
    if (auto* w = qobject_cast<FormMontagePicture*>(keyboardPictureWindow())) return w;
    if (auto* m = qobject_cast<FormMontagePicture*>(montage_.data()); m && m->isVisible()) return m;
    return nullptr;
}

} // namespace orv
