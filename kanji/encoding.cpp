#include "kanji.h"

void Kanji_ConvertPair(const FontSet*, unsigned char*, unsigned char*) {}
void Kanji_SjisBytesToJis(unsigned char*, unsigned char*) {}
void Kanji_EucBytesToJis(unsigned char*, unsigned char*) {}
