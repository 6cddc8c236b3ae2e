#include "DMLTextConvert.h"

#include <nettle/base64.h>

#include <cstdint>

bool Utf16ToUtf8(std::u16string_view in, std::string& out) {
    std::string result;
    result.reserve(in.size());
    for (size_t i = 0; i < in.size(); ++i) {
        uint32_t unit = in[i];
        uint32_t cp = unit;
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            if (i + 1 >= in.size()) return false;
            uint32_t low = in[i + 1];
            if (low < 0xDC00 || low > 0xDFFF) return false;
            cp = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
            ++i;
        } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
            return false;
        }
        if (cp < 0x80) {
            result.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            result.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            result.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            result.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            result.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            result.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            result.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            result.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            result.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            result.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    out = std::move(result);
    return true;
}

bool Utf8ToUtf16(std::string_view in, std::u16string& out) {
    std::u16string result;
    result.reserve(in.size());
    size_t i = 0;
    while (i < in.size()) {
        uint8_t lead = static_cast<uint8_t>(in[i]);
        uint32_t cp;
        size_t extra;
        uint32_t minimum;
        if (lead < 0x80) {
            cp = lead; extra = 0; minimum = 0;
        } else if ((lead & 0xE0) == 0xC0) {
            cp = lead & 0x1F; extra = 1; minimum = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            cp = lead & 0x0F; extra = 2; minimum = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            cp = lead & 0x07; extra = 3; minimum = 0x10000;
        } else {
            return false;
        }
        if (extra > in.size() - i - 1) return false;
        for (size_t k = 1; k <= extra; ++k) {
            uint8_t next = static_cast<uint8_t>(in[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (next & 0x3F);
        }
        if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            result.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            result.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            result.push_back(static_cast<char16_t>(cp));
        }
        i += extra + 1;
    }
    out = std::move(result);
    return true;
}

std::string Base64Encode(std::string_view bytes) {
    std::string out(BASE64_ENCODE_RAW_LENGTH(bytes.size()), '\0');
    if (!bytes.empty()) {
        base64_encode_raw(reinterpret_cast<char*>(out.data()), bytes.size(),
                          reinterpret_cast<const uint8_t*>(bytes.data()));
    }
    return out;
}

bool Base64Decode(std::string_view text, std::string& bytes) {
    base64_decode_ctx ctx;
    base64_decode_init(&ctx);
    std::string out(BASE64_DECODE_LENGTH(text.size()), '\0');
    size_t length = out.size();
    if (!text.empty() &&
        !base64_decode_update(&ctx, &length, reinterpret_cast<uint8_t*>(out.data()), text.size(),
                              text.data())) {
        return false;
    }
    if (!base64_decode_final(&ctx)) return false;
    out.resize(length);
    bytes = std::move(out);
    return true;
}

std::string Utf16ToLEBytes(std::u16string_view text) {
    std::string bytes;
    bytes.resize(text.size() * 2);
    for (size_t i = 0; i < text.size(); ++i) {
        bytes[2 * i] = static_cast<char>(text[i] & 0xFF);
        bytes[2 * i + 1] = static_cast<char>(text[i] >> 8);
    }
    return bytes;
}

std::u16string Utf16FromLEBytes(std::string_view bytes) {
    std::u16string text(bytes.size() / 2, u'\0');
    for (size_t i = 0; i < text.size(); ++i) {
        text[i] = static_cast<char16_t>(static_cast<uint8_t>(bytes[2 * i]) |
                                        (static_cast<uint8_t>(bytes[2 * i + 1]) << 8));
    }
    return text;
}
