#include "core/text/Collation.h"

#include <unicode/coll.h>
#include <unicode/locid.h>
#include <unicode/normalizer2.h>
#include <unicode/stringpiece.h>
#include <unicode/translit.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/uscript.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <mutex>
#include <numeric>

#include "core/text/TextCodec.h"

namespace velmora {

struct TCollator::Impl {
    std::unique_ptr<icu::Collator> Coll;
};

namespace {

// "ru_RU.UTF-8@euro" -> "ru_RU"; the C and POSIX locales -> "" (the root order).
std::string IcuLocaleOf(const std::string& posix) {
    std::string name = posix.substr(0, posix.find_first_of(".@"));
    if (name.empty() || name == "C" || name == "POSIX")
        return "";
    return name;
}

std::unique_ptr<icu::Collator> MakeCollator(const std::string& icuName) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Locale locale =
        icuName.empty() ? icu::Locale::getRoot() : icu::Locale::createFromName(icuName.c_str());
    std::unique_ptr<icu::Collator> coll(icu::Collator::createInstance(locale, status));
    if (U_FAILURE(status) || !coll)
        return nullptr;
    // Secondary strength: letters and accents count, letter case does not. Digits are read as
    // numbers.
    coll->setStrength(icu::Collator::SECONDARY);
    coll->setAttribute(UCOL_NUMERIC_COLLATION, UCOL_ON, status);
    if (U_FAILURE(status))
        return nullptr;
    return coll;
}

}  // namespace

TCollator::TCollator(const std::string& posixLocale) : P(std::make_unique<Impl>()) {
    const std::string icuName = IcuLocaleOf(posixLocale);
    if (!icuName.empty()) {
        P->Coll = MakeCollator(icuName);
        // ICU falls back silently to the root rules for an unknown language; say so in the name.
        if (P->Coll) {
            UErrorCode status = U_ZERO_ERROR;
            const icu::Locale actual = P->Coll->getLocale(ULOC_ACTUAL_LOCALE, status);
            const std::string actualName = U_SUCCESS(status) ? actual.getName() : "";
            Name = actualName.empty() || actualName == "root" ? "root" : icuName;
        }
    }
    if (!P->Coll) {
        P->Coll = MakeCollator("");
        Name = "root";
    }
}

TCollator::~TCollator() = default;

int TCollator::Compare(const std::string& a, const std::string& b) const {
    const int r = Key(a).compare(Key(b));
    return r < 0 ? -1 : r > 0 ? 1 : 0;
}

bool TCollator::Equivalent(const std::string& a, const std::string& b) const {
    return EquivalenceKey(a) == EquivalenceKey(b);
}

std::string TCollator::EquivalenceKey(const std::string& text) const {
    // The collation key alone, without the text's bytes that Key appends to break ties.
    std::string key = Key(text);
    key.resize(key.size() - text.size());
    return key;
}

std::string TCollator::Key(const std::string& name) const {
    // The collation key ends with a zero byte and has none inside, so the name's bytes appended
    // after it only decide between names whose collation keys are equal.
    std::string key;
    if (P->Coll) {
        // Invalid UTF-8 becomes U+FFFD here.
        const icu::UnicodeString text = icu::UnicodeString::fromUTF8(
            icu::StringPiece(name.data(), static_cast<int32_t>(name.size())));
        key.resize(64 + name.size() * 2);
        int32_t size = P->Coll->getSortKey(text, reinterpret_cast<uint8_t*>(key.data()),
                                           static_cast<int32_t>(key.size()));
        if (size > static_cast<int32_t>(key.size())) {
            key.resize(static_cast<size_t>(size));
            size = P->Coll->getSortKey(text, reinterpret_cast<uint8_t*>(key.data()),
                                       static_cast<int32_t>(key.size()));
        }
        key.resize(size > 0 ? static_cast<size_t>(size) : 0);
        if (key.empty())
            key.push_back('\0');
    } else {
        key.push_back('\0');
    }
    key += name;
    return key;
}

std::string UserCollationLocale() {
    for (const char* var : {"LC_ALL", "LC_COLLATE", "LANG"}) {
        const char* value = std::getenv(var);
        if (value != nullptr && *value != '\0')
            return value;
    }
    return "";
}

const TCollator& UserCollator() {
    static const TCollator collator(UserCollationLocale());
    return collator;
}

std::string LatinLetters(uint32_t code) {
    static std::mutex lock;
    static std::map<uint32_t, std::string> known;
    static std::unique_ptr<icu::Transliterator> toLatin;
    const std::lock_guard<std::mutex> guard(lock);
    if (const auto it = known.find(code); it != known.end())
        return it->second;
    if (!toLatin) {
        // Made on first use: most runs never meet a letter Windows-1251 lacks.
        UErrorCode status = U_ZERO_ERROR;
        toLatin.reset(
            icu::Transliterator::createInstance("Any-Latin; Latin-ASCII", UTRANS_FORWARD, status));
        if (U_FAILURE(status))
            toLatin.reset();
    }
    std::string latin;
    if (toLatin && code <= 0x10FFFF) {
        icu::UnicodeString text(static_cast<UChar32>(code));
        toLatin->transliterate(text);
        text.toUTF8String(latin);
        // Only printable ASCII letters and signs are a usable stand-in.
        if (!std::all_of(latin.begin(), latin.end(), [](char c) { return c >= 0x20 && c < 0x7F; }))
            latin.clear();
    }
    known.emplace(code, latin);
    return latin;
}

std::string ComposedText(const std::string& text) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
    if (U_FAILURE(status) || AllAscii(text))
        return text;
    // Each run of valid UTF-8 between stray bytes is composed on its own.
    std::string out, run;
    const auto flush = [&] {
        if (run.empty())
            return;
        UErrorCode st = U_ZERO_ERROR;
        const icu::UnicodeString composed =
            nfc->normalize(icu::UnicodeString::fromUTF8(icu::StringPiece(run)), st);
        if (U_FAILURE(st))
            out += run;
        else
            composed.toUTF8String(out);
        run.clear();
    };
    for (size_t i = 0; i < text.size();) {
        const TUtf8Char c = Utf8CharAt(text, i);
        if (c.Code >= kStrayByte) {
            flush();
            out += text[i];
        } else {
            run.append(text, i, c.Length);
        }
        i += c.Length;
    }
    flush();
    return out;
}

bool HasNonLatinLetters(const std::string& text) {
    bool other = false;
    ForEachUtf8Char(text, [&other](uint32_t code) {
        if (code >= kStrayByte) {
            other = true;
        } else if (code >= 0x80 && u_isalpha(static_cast<UChar32>(code))) {
            UErrorCode status = U_ZERO_ERROR;
            const UScriptCode script = uscript_getScript(static_cast<UChar32>(code), &status);
            other = other || (U_SUCCESS(status) && script != USCRIPT_LATIN &&
                              script != USCRIPT_COMMON && script != USCRIPT_INHERITED);
        }
    });
    return other;
}

void SortNames(std::vector<std::string>& names, const TCollator& collator) {
    std::vector<std::string> keys;
    keys.reserve(names.size());
    for (const std::string& name : names)
        keys.push_back(collator.Key(name));
    std::vector<size_t> order(names.size());
    std::iota(order.begin(), order.end(), size_t{0});
    std::sort(order.begin(), order.end(),
              [&keys](size_t a, size_t b) { return keys[a] < keys[b]; });
    std::vector<std::string> sorted;
    sorted.reserve(names.size());
    for (size_t i : order)
        sorted.push_back(std::move(names[i]));
    names = std::move(sorted);
}

}  // namespace velmora
