// Acting at a moment of the window events, as a user would: once a condition holds, or once the
// next modal dialog is up.
#pragma once

#include <QApplication>
#include <QDialog>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

namespace orv::testing {

// Runs `act` at the first turn of the window events from now on in which `now` holds. Only the
// pending turn holds the watch, so it goes once it has acted, or with `context` before that.
inline void whenTrue(QObject* context, std::function<bool()> now, std::function<void()> act) {
    struct Watch {
        QObject* context;
        std::function<bool()> now;
        std::function<void()> act;
    };
    struct Turn {
        std::shared_ptr<Watch> watch;
        void operator()() const {
            if (watch->now()) {
                watch->act();
                return;
            }
            QTimer::singleShot(0, watch->context, Turn{watch});
        }
    };
    QTimer::singleShot(0, context, Turn{std::make_shared<Watch>(Watch{context, std::move(now), std::move(act)})});
}

// The next modal widget of a kind is handed to `act` once it is up. The watch ends when the
// returned timer goes.
template <typename Widget, typename Act> std::unique_ptr<QTimer> onNextModal(Act act) {
    auto timer = std::make_unique<QTimer>();
    timer->setInterval(10);
    QObject::connect(timer.get(), &QTimer::timeout, [t = timer.get(), act] {
        if (auto* w = qobject_cast<Widget*>(QApplication::activeModalWidget())) {
            t->stop();
            act(w);
        }
    });
    timer->start();
    return timer;
}

// The next modal dialog once it has the keyboard; one that never gets it is rejected untouched.
template <typename Act> std::unique_ptr<QTimer> onNextActiveDialog(Act act) {
    return onNextModal<QDialog>([act](QDialog* d) {
        if (!QTest::qWaitForWindowActive(d)) {
            d->reject();
            return;
        }
        act(d);
    });
}

} // namespace orv::testing
