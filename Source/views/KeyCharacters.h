#pragma once
// Typed keys as the characters the windows' key handlers compare against.

#include <QChar>
#include <QString>

class QKeyEvent;

namespace vantle {

// The arrow keys have no text of their own; they arrive as these private-use characters, one each.
inline constexpr char16_t upArrowFunctionKey = 0xF700;
inline constexpr char16_t downArrowFunctionKey = 0xF701;
inline constexpr char16_t leftArrowFunctionKey = 0xF702;
inline constexpr char16_t rightArrowFunctionKey = 0xF703;
// The key above Return that deletes backwards arrives as DEL, as it types on the original platform.
inline constexpr char16_t deleteCharacter = 0x7F;

// The characters a key press typed: the event's text, the arrow's function-key character, or DEL for
// backspace. Main thread.
QString typedCharacters(const QKeyEvent& event);

} // namespace vantle
