// The windows of Make Montage: the montage window (FormMontagePicture, the main one and the
// comparison copies), the dominant-image window (FormUsed), the preview window (FormPreview) and
// the frameless properties window (FormProperties). They show what the commands put in them and
// hand their menu choices back as signals.
#pragma once

#include "ui/picture_window.h"

#include <QFrame>
#include <QHash>
#include <QImage>
#include <QStringList>
#include <QWidget>

#include <optional>
#include <string>

class QAction;
class QLabel;
class QMenu;
class QScrollArea;

class QPlainTextEdit;
class QScrollArea;

namespace orv {

inline constexpr const char* kMontageCaption = "Montage Orvanta";
inline constexpr const char* kMontageTooltip =
    "This is a combined In Focus Montage - see the Properties page for details";
inline constexpr const char* kUsedCaption = " Dominant image used for the Montage";
inline constexpr const char* kPreviewCaption = "Preview";
inline constexpr const char* kPreviewTooltip = "Preview of the final picture";
inline constexpr int kPreviewWidth = 320; // the preview picture's size (multiples of 4)
inline constexpr int kPreviewHeight = 240;

class FormMontagePicture : public PictureWindow {
    Q_OBJECT
public:
    explicit FormMontagePicture(QWidget* mainWindow);
    ~FormMontagePicture() override;

    PictureBox* PictureFile() const { return picture(); }
    QAction* mnuProperties() const { return action(Command::PictureProperties); }

    // A black picture of w x h in a window sized to show it.
    void setBlankPicture(int w, int h);
    // The comparison montage the window shows, none for the main montage.
    std::optional<int> comparison() const { return comparison_; }
    void setComparison(int k) { comparison_ = k; }

signals:
    // The window is going: said while it is still whole, before its widgets go (which sends their
    // events through the application's filters).
    void goingAway();

protected:
    bool handleOwnCommand(Command c) override;

private:
    std::optional<int> comparison_;
};

// The label of the dominant-image window. Make Montage puts a new line on top of the map after
// every block row and every line moves down; drawing text is slow, so each line is drawn once
// into a picture that later redraws only place.
class MapLabel : public QWidget {
    Q_OBJECT
public:
    explicit MapLabel(QWidget* parent = nullptr);
    void setText(const QString& text); // lines separated by "\n"
    QString text() const { return text_; }
    QSize sizeHint() const override;
    int lineCount() const { return int(lines_.size()); }

protected:
    void paintEvent(QPaintEvent* e) override;
    void changeEvent(QEvent* e) override;

private:
    QString text_;
    QStringList lines_;
    QHash<QString, QImage> drawn_;
};

// The dominant-image window: the map's rows in a read-only text view in a monospaced font, which
// scrolls when the map is larger than the window and which a screen reader reads. The label keeps
// the lines as the map font draws them.
class FormUsed : public QWidget {
    Q_OBJECT
public:
    explicit FormUsed(QWidget* mainWindow);

    MapLabel* LabelUsed() const { return label_; }
    QPlainTextEdit* textMap() const { return view_; }
    // The map text as the commands keep it (CR LF line ends); the label shows its lines.
    const std::string& mapText() const { return map_; }
    void setMapText(const std::string& map);
    void setMapFontSize(double points);
    double mapFontSize() const;

    // Sized for `columns` x `rows` characters of the map font, measured with "3".
    void sizeForGrid(int columns, int rows);
    // The height follows the map text (one line per block row).
    void fitHeightToText();

signals:
    void focusHandOff();

protected:
    bool event(QEvent* e) override;

private:
    void showTextLater();
    QSize frameExtra() const; // the window's size around the text
    QSize roomOnScreen() const;

    MapLabel* label_;
    QPlainTextEdit* view_;
    std::string map_;
    bool textPending_ = false;
};

class FormPreview : public PictureWindow {
    Q_OBJECT
public:
    explicit FormPreview(QWidget* mainWindow);
    PictureBox* PicturePreview() const { return picture(); }
    // Black again, at the preview's size.
    void clearPreview();
    // Back to the state of a preview window just made: its caption and a black picture.
    void makeNew();
};

class FormProperties : public QWidget {
    Q_OBJECT
public:
    // `dragState` is the program's shared drag state: empty while nothing is dragged.
    FormProperties(std::optional<QPoint>& dragState, QWidget* owner);

    QLabel* LabelProperties() const { return label_; }
    QFrame* ShapeProperties() const { return frame_; }
    const std::string& text() const { return text_; }
    void setText(const std::string& text);
    // The window and its frame take the size of the text.
    void fitToText();
    // Shows the window owned by `owner`, beside it.
    void showBeside(QWidget* owner);

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;
    bool event(QEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

signals:
    void focusHandOff();

private:
    void layOut();

    std::optional<QPoint>& dragState_;
    QFrame* frame_;
    QScrollArea* scroll_;
    QLabel* label_;
    QWidget* grip_;
    std::string text_;
    QPoint pressed_;
};

} // namespace orv
