#include "return_as_space.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QKeyEvent>

namespace {

class ReturnAsSpace : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease)
            return false;
        const auto* key = static_cast<const QKeyEvent*>(event);
        const bool returnKey = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        if (!returnKey || (key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier)
            return false;
        QKeyEvent space(event->type(), Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "),
                        key->isAutoRepeat());
        QCoreApplication::sendEvent(watched, &space);
        return true;
    }
};

} // namespace

void AnswerReturnLikeSpace(QAbstractButton& button) {
    button.installEventFilter(new ReturnAsSpace(&button));
}
