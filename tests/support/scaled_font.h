// The application's font made larger for the test's length (a large desktop font), and put back
// after.
#pragma once

#include <QApplication>
#include <QFont>

namespace orv::testing {

class ScaledApplicationFont {
public:
    explicit ScaledApplicationFont(double factor) {
        QFont large = usual_;
        large.setPointSizeF(usual_.pointSizeF() * factor);
        QApplication::setFont(large);
    }
    ~ScaledApplicationFont() { QApplication::setFont(usual_); }
    ScaledApplicationFont(const ScaledApplicationFont&) = delete;
    ScaledApplicationFont& operator=(const ScaledApplicationFont&) = delete;

private:
    QFont usual_ = QApplication::font();
};

} // namespace orv::testing
