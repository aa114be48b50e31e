// Arbitrary bytes as a transliteration table file: loading never fails, a text maps through the
// table without a crash, and saving the table gives bytes that load back to the same rows.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/text/TextCodec.h"
#include "core/text/Translit.h"
#include "fuzz/FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    velmora::TTranslitTable table;
    table.LoadFromBytes(bytes);

    // The text: Cyrillic of both cases, the file's own bytes as text, and the raw bytes.
    const std::string text = "Щука Ёлка ЖАННА подъезд " + velmora::Cp1251ToUtf8(bytes) + bytes;
    const std::string result = velmora::TransliterateText(table, text);
    Check(!table.Rows.empty() || result == text);

    velmora::TTranslitTable again;
    again.LoadFromBytes(table.SaveToBytes());
    Check(again.Rows == table.Rows);
    return 0;
}
