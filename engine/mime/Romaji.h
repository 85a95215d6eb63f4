// Japanese text in Latin letters, as a Japanese reader would spell it: kana
// in Hepburn romaji and kanji by their Japanese readings (KAKASI and its
// dictionary), words parted by blanks.
#pragma once

#include <unicode/unistr.h>

namespace KestrinMIMEEngineCommon {

// Whether the text holds hiragana or katakana: what tells Japanese from
// Chinese, which shares the kanji.
bool HoldsKana(const icu::UnicodeString& text);

// The text with its Japanese (kana, and the kanji and punctuation written
// with them) in romaji, the rest as it was. Kanji that KAKASI cannot read
// stay for the caller's transliteration. Without KAKASI's dictionary the
// kana are spelled by ICU's rules and the kanji stay. Only about the first
// thousand letters are made: a name is far shorter.
icu::UnicodeString RomanizeJapanese(const icu::UnicodeString& text);

}  // namespace KestrinMIMEEngineCommon
