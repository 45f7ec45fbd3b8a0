#include "Source/views/KeyCharacters.h"

#include <QKeyEvent>

namespace vantle {

QString typedCharacters(const QKeyEvent& event) {
    switch (event.key()) {
    case Qt::Key_Up:
        return QString(QChar(upArrowFunctionKey));
    case Qt::Key_Down:
        return QString(QChar(downArrowFunctionKey));
    case Qt::Key_Left:
        return QString(QChar(leftArrowFunctionKey));
    case Qt::Key_Right:
        return QString(QChar(rightArrowFunctionKey));
    case Qt::Key_Backspace:
        return QString(QChar(deleteCharacter));
    default:
        return event.text();
    }
}

} // namespace vantle
