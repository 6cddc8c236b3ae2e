#include "DMLField.h"

#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "DMLRecord.h"
#include "DMLTable.h"
#include "DMLTextConvert.h"
#include "LogMessage.h"

namespace {

const std::string kEmptyStr;
const std::u16string kEmptyWStr;

// Truncation toward zero that saturates instead of overflowing.
int64_t TruncToI64(double d) {
    if (std::isnan(d)) return 0;
    if (d >= 9223372036854775807.0) return INT64_MAX;
    if (d <= -9223372036854775808.0) return INT64_MIN;
    return static_cast<int64_t>(d);
}

uint64_t TruncToU64(double d) {
    if (std::isnan(d)) return 0;
    if (d >= 18446744073709551615.0) return UINT64_MAX;
    if (d >= 0) return static_cast<uint64_t>(d);
    return static_cast<uint64_t>(TruncToI64(d));
}

float NarrowToFloat(double d) {
    if (std::isfinite(d) && std::fabs(d) > 3.4028234663852886e38) return d > 0 ? HUGE_VALF : -HUGE_VALF;
    return static_cast<float>(d);
}

template <typename T>
void AppendLE(std::string& out, T value) {
    char bytes[sizeof(T)];
    for (size_t i = 0; i < sizeof(T); ++i) bytes[i] = static_cast<char>((uint64_t(value) >> (8 * i)) & 0xFF);
    out.append(bytes, sizeof(T));
}

template <typename T>
T ReadLE(const uint8_t* p) {
    uint64_t v = 0;
    for (size_t i = 0; i < sizeof(T); ++i) v |= uint64_t(p[i]) << (8 * i);
    return static_cast<T>(v);
}

// Stores wide text in the slot, reusing the text object when there is one so that references
// handed out earlier stay valid.
void AssignWide(std::unique_ptr<std::u16string>& slot, std::u16string&& text) {
    if (slot) {
        *slot = std::move(text);
    } else {
        slot = std::make_unique<std::u16string>(std::move(text));
    }
}

}  // namespace

void DMLField::BeginChange() {
    if ((m_flags & (DMLF_KEY | DMLF_INDEXED)) == (DMLF_KEY | DMLF_INDEXED) && m_owner &&
        m_owner->Table()) {
        m_owner->Table()->RemoveKey(this);
    }
}

void DMLField::EndChange(uint8_t type) {
    m_type = type;
    m_flags |= DMLF_MOD;
    m_mask = DMLTypeBit(type);
    if (m_owner) m_owner->SetModified(true);
    if ((m_flags & DMLF_KEY) && m_owner && m_owner->Table()) m_owner->Table()->AddKey(this);
}

void DMLField::ClearValues() {
    m_dbl = 0.0;
    m_flt = 0.0f;
    m_u32 = 0;
    m_gid = 0;
    m_str.reset();
    m_wstr.reset();
    m_mask = 0;
}

void DMLField::Reset() {
    BeginChange();
    ClearValues();
    m_type = DML_INT;
    m_flags = DMLF_XFER;
    m_persistence = PER_NORM;
    m_declaredLength = 0;
}

void DMLField::CopyFrom(const DMLField& other, bool move) {
    if (&other == this) return;
    BeginChange();
    ClearValues();
    m_persistence = other.m_persistence;
    m_declaredLength = other.m_declaredLength;
    m_flags = static_cast<uint8_t>((other.m_flags & ~DMLF_INDEXED) | DMLF_MOD);
    m_dbl = other.m_dbl;
    m_flt = other.m_flt;
    m_u32 = other.m_u32;
    m_gid = other.m_gid;
    if (other.m_type == DML_STRING && other.m_str) {
        if (move) {
            m_str = std::move(other.m_str);
            other.m_str.reset();
        } else {
            m_str = other.m_str;
        }
    } else if (other.m_type == DML_WSTRING && other.m_wstr) {
        if (move) {
            m_wstr = std::move(other.m_wstr);
            other.m_wstr.reset();
        } else {
            m_wstr = std::make_unique<std::u16string>(*other.m_wstr);
        }
    }
    EndChange(other.m_type);
}

template <typename Store>
void DMLField::StoreValue(uint8_t type, Store store) {
    BeginChange();
    store();
    EndChange(type);
}

// A LOCKed field keeps its type: the value goes through a temporary field of the value's type.
#define HY_DML_SET(TYPE, SLOT, VALUE)                             \
    if (m_flags & DMLF_LOCK) {                                    \
        DMLField temporary;                                       \
        temporary.StoreValue(TYPE, [&] { temporary.SLOT = VALUE; }); \
        SetValueKeepType(temporary);                              \
        return;                                                   \
    }                                                             \
    StoreValue(TYPE, [&] { SLOT = VALUE; })

void DMLField::SetValue(uint64_t gid) { HY_DML_SET(DML_GID, m_gid, gid); }
void DMLField::SetValue(int32_t value) { HY_DML_SET(DML_INT, m_u32, static_cast<uint32_t>(value)); }
void DMLField::SetValue(uint32_t value) { HY_DML_SET(DML_UINT, m_u32, value); }
void DMLField::SetValue(float value) { HY_DML_SET(DML_FLT, m_flt, value); }
void DMLField::SetValue(int8_t value) { HY_DML_SET(DML_BYT, m_u32, static_cast<uint8_t>(value)); }
void DMLField::SetValue(uint8_t value) { HY_DML_SET(DML_UBYT, m_u32, value); }
void DMLField::SetValue(uint16_t value) { HY_DML_SET(DML_USHRT, m_u32, value); }
void DMLField::SetValue(double value) { HY_DML_SET(DML_DBL, m_dbl, value); }
void DMLField::SetValue(std::string_view text) { HY_DML_SET(DML_STRING, m_str, std::string(text)); }
void DMLField::SetValue(std::u16string_view text) {
    HY_DML_SET(DML_WSTRING, m_wstr, std::make_unique<std::u16string>(text));
}
#undef HY_DML_SET

void DMLField::SetValueKeepType(const DMLField& other) {
    if (m_type == DML_UNKNOWN || m_type >= kDMLTypeCount) {
        HY_LOG(LL_Error, kDataLayerCategory, "DMLField::SetValueKeepType",
               "DMLField with type locked as DML_UNKNOWN.  Unlocking Type and using DML_STRING.");
        m_flags &= static_cast<uint8_t>(~DMLF_LOCK);
        std::string text = other.ToStr();
        SetValue(std::string_view(text));
        return;
    }
    switch (m_type) {
        case DML_GID: { uint64_t v = other.GetGID(); StoreValue(m_type, [&] { m_gid = v; }); break; }
        case DML_INT: { int32_t v = other.GetInt(); StoreValue(m_type, [&] { m_u32 = static_cast<uint32_t>(v); }); break; }
        case DML_UINT: { uint32_t v = other.GetUInt(); StoreValue(m_type, [&] { m_u32 = v; }); break; }
        case DML_FLT: { float v = other.GetFloat(); StoreValue(m_type, [&] { m_flt = v; }); break; }
        case DML_BYT: { int8_t v = other.GetByte(); StoreValue(m_type, [&] { m_u32 = static_cast<uint8_t>(v); }); break; }
        case DML_UBYT: { uint8_t v = other.GetUByte(); StoreValue(m_type, [&] { m_u32 = v; }); break; }
        case DML_USHRT: { uint16_t v = other.GetUShort(); StoreValue(m_type, [&] { m_u32 = v; }); break; }
        case DML_DBL: { double v = other.GetDouble(); StoreValue(m_type, [&] { m_dbl = v; }); break; }
        case DML_STRING: { std::string v = other.ToStr(); StoreValue(m_type, [&] { m_str = std::move(v); }); break; }
        case DML_WSTRING: { std::u16string v = other.ToWStr(); StoreValue(m_type, [&] { AssignWide(m_wstr, std::move(v)); }); break; }
        default: break;
    }
}

void DMLField::SetType(uint8_t type) {
    BeginChange();
    switch (type) {
        case DML_GID: GetGID(); break;
        case DML_INT: GetInt(); break;
        case DML_UINT: GetUInt(); break;
        case DML_FLT: GetFloat(); break;
        case DML_BYT: GetByte(); break;
        case DML_UBYT: GetUByte(); break;
        case DML_USHRT: GetUShort(); break;
        case DML_DBL: GetDouble(); break;
        case DML_STRING: ToStr(); break;
        case DML_WSTRING: ToWStr(); break;
        default: break;
    }
    // Only the new type's slot is current: a lossy conversion must not leave the old value
    // readable through the old slot.
    m_type = type;
    m_mask = DMLTypeBit(type);
    if ((m_flags & DMLF_KEY) && m_owner && m_owner->Table()) m_owner->Table()->AddKey(this);
}

void DMLField::SetModified(bool modified) {
    SetFlag(DMLF_MOD, modified);
    if (modified && m_owner) m_owner->SetModified(true);
}

// ---- Reading ----------------------------------------------------------------------------------

const char* DMLField::SourceText(std::string& scratch) const {
    if (m_type == DML_STRING) return m_str ? m_str->c_str() : "";
    if (m_wstr && Utf16ToUtf8(*m_wstr, scratch)) return scratch.c_str();
    return "";
}

int64_t DMLField::SourceInteger() const {
    switch (m_type) {
        case DML_GID: return static_cast<int64_t>(m_gid);
        case DML_INT: return static_cast<int32_t>(m_u32);
        case DML_UINT: return m_u32;
        case DML_FLT: return TruncToI64(m_flt);
        case DML_DBL: return TruncToI64(m_dbl);
        case DML_BYT: return static_cast<int8_t>(m_u32 & 0xFF);
        case DML_UBYT: return m_u32 & 0xFF;
        case DML_USHRT: return m_u32 & 0xFFFF;
        case DML_STRING:
        case DML_WSTRING: {
            std::string scratch;
            return std::strtoll(SourceText(scratch), nullptr, 10);
        }
        default: return 0;
    }
}

uint64_t DMLField::GetGID() const {
    if (m_type == DML_UNKNOWN || m_type >= kDMLTypeCount || (m_mask & DMLTypeBit(DML_GID))) return m_gid;
    switch (m_type) {
        case DML_FLT: m_gid = TruncToU64(m_flt); break;
        case DML_DBL: m_gid = TruncToU64(m_dbl); break;
        case DML_STRING:
        case DML_WSTRING: {
            std::string scratch;
            m_gid = std::strtoull(SourceText(scratch), nullptr, 10);
            break;
        }
        default: m_gid = static_cast<uint64_t>(SourceInteger()); break;
    }
    m_mask |= DMLTypeBit(DML_GID);
    return m_gid;
}

int32_t DMLField::GetInt() const {
    if (m_type == DML_UNKNOWN || m_type >= kDMLTypeCount || (m_mask & DMLTypeBit(DML_INT))) return static_cast<int32_t>(m_u32);
    m_u32 = static_cast<uint32_t>(SourceInteger());
    m_mask |= DMLTypeBit(DML_INT);
    return static_cast<int32_t>(m_u32);
}

uint32_t DMLField::GetUInt() const {
    if (m_type == DML_UNKNOWN || m_type >= kDMLTypeCount || (m_mask & DMLTypeBit(DML_UINT))) return m_u32;
    if (m_type == DML_STRING || m_type == DML_WSTRING) {
        std::string scratch;
        m_u32 = static_cast<uint32_t>(std::strtoull(SourceText(scratch), nullptr, 10));
    } else {
        m_u32 = static_cast<uint32_t>(SourceInteger());
    }
    m_mask |= DMLTypeBit(DML_UINT);
    return m_u32;
}

namespace {

// The current value as a double, for the floating-point getters.
double SourceReal(uint8_t type, uint64_t gid, uint32_t u32, float flt, double dbl,
                  const char* text) {
    switch (type) {
        case DML_GID: return static_cast<double>(static_cast<uint32_t>(gid));
        case DML_INT: return static_cast<int32_t>(u32);
        case DML_UINT: return u32;
        case DML_FLT: return flt;
        case DML_DBL: return dbl;
        case DML_BYT: return static_cast<int8_t>(u32 & 0xFF);
        case DML_UBYT: return u32 & 0xFF;
        case DML_USHRT: return u32 & 0xFFFF;
        default: return text ? std::strtod(text, nullptr) : 0.0;
    }
}

}  // namespace

float DMLField::GetFloat() const {
    if (m_type == DML_UNKNOWN || m_type >= kDMLTypeCount || (m_mask & DMLTypeBit(DML_FLT))) return m_flt;
    std::string scratch;
    const char* text = nullptr;
    if (m_type == DML_STRING || m_type == DML_WSTRING) text = SourceText(scratch);
    m_flt = m_type == DML_FLT ? m_flt : NarrowToFloat(SourceReal(m_type, m_gid, m_u32, m_flt, m_dbl, text));
    m_mask |= DMLTypeBit(DML_FLT);
    return m_flt;
}

double DMLField::GetDouble() const {
    if (m_type == DML_UNKNOWN || m_type >= kDMLTypeCount || (m_mask & DMLTypeBit(DML_DBL))) return m_dbl;
    std::string scratch;
    const char* text = nullptr;
    if (m_type == DML_STRING || m_type == DML_WSTRING) text = SourceText(scratch);
    m_dbl = SourceReal(m_type, m_gid, m_u32, m_flt, m_dbl, text);
    m_mask |= DMLTypeBit(DML_DBL);
    return m_dbl;
}

int8_t DMLField::GetByte() const {
    if (m_type == DML_UNKNOWN || m_type >= kDMLTypeCount || (m_mask & DMLTypeBit(DML_BYT))) return static_cast<int8_t>(m_u32 & 0xFF);
    uint8_t v = static_cast<uint8_t>(SourceInteger());
    m_u32 = (m_u32 & ~0xFFu) | v;
    m_mask |= DMLTypeBit(DML_BYT);
    return static_cast<int8_t>(v);
}

uint8_t DMLField::GetUByte() const {
    if (m_type == DML_UNKNOWN || m_type >= kDMLTypeCount || (m_mask & DMLTypeBit(DML_UBYT))) return static_cast<uint8_t>(m_u32 & 0xFF);
    uint8_t v = static_cast<uint8_t>(SourceInteger());
    m_u32 = (m_u32 & ~0xFFu) | v;
    m_mask |= DMLTypeBit(DML_UBYT);
    return v;
}

uint16_t DMLField::GetUShort() const {
    if (m_type == DML_UNKNOWN || m_type >= kDMLTypeCount || (m_mask & DMLTypeBit(DML_USHRT))) return static_cast<uint16_t>(m_u32 & 0xFFFF);
    uint16_t v = static_cast<uint16_t>(SourceInteger());
    m_u32 = (m_u32 & ~0xFFFFu) | v;
    m_mask |= DMLTypeBit(DML_USHRT);
    return v;
}

namespace {

// Formats a number into the 40-byte buffer the text forms use.
void FormatNumber(uint8_t type, uint64_t gid, uint32_t u32, float flt, double dbl, char (&buffer)[40]) {
    switch (type) {
        case DML_GID: std::snprintf(buffer, sizeof buffer, "%" PRIu64, gid); break;
        case DML_INT: std::snprintf(buffer, sizeof buffer, "%d", static_cast<int32_t>(u32)); break;
        case DML_UINT: std::snprintf(buffer, sizeof buffer, "%u", u32); break;
        case DML_FLT: std::snprintf(buffer, sizeof buffer, "%f", static_cast<double>(flt)); break;
        case DML_DBL: std::snprintf(buffer, sizeof buffer, "%f", dbl); break;
        case DML_BYT: std::snprintf(buffer, sizeof buffer, "%d", static_cast<int8_t>(u32 & 0xFF)); break;
        case DML_UBYT: std::snprintf(buffer, sizeof buffer, "%u", u32 & 0xFF); break;
        case DML_USHRT: std::snprintf(buffer, sizeof buffer, "%u", u32 & 0xFFFF); break;
        default: buffer[0] = '\0'; break;
    }
}

}  // namespace

const std::string& DMLField::ToStr() const {
    if (m_type == DML_STRING || m_type == DML_UNKNOWN || m_type >= kDMLTypeCount ||
        (m_mask & DMLTypeBit(DML_STRING))) {
        return m_str ? *m_str : kEmptyStr;
    }
    if (m_type == DML_WSTRING) {
        if (!m_wstr) {
            HY_LOG(LL_Warning, kDataLayerCategory, "DMLField::ToStr",
                   "Trying to convert an empty wide string to a string.");
            return m_str ? *m_str : kEmptyStr;
        }
        std::string converted;
        if (!Utf16ToUtf8(*m_wstr, converted)) {
            HY_LOG(LL_Warning, kDataLayerCategory, "DMLField::ToStr",
                   "Unable to convert a wide string to a string.");
            return m_str ? *m_str : kEmptyStr;
        }
        m_str = std::move(converted);
    } else {
        char buffer[40];
        FormatNumber(m_type, m_gid, m_u32, m_flt, m_dbl, buffer);
        m_str.emplace(buffer);
    }
    m_mask |= DMLTypeBit(DML_STRING);
    return *m_str;
}

const std::u16string& DMLField::ToWStr() const {
    if (m_type == DML_WSTRING || m_type == DML_UNKNOWN || m_type >= kDMLTypeCount ||
        (m_mask & DMLTypeBit(DML_WSTRING))) {
        return m_wstr ? *m_wstr : kEmptyWStr;
    }
    if (m_type == DML_STRING) {
        if (!m_str) {
            HY_LOG(LL_Warning, kDataLayerCategory, "DMLField::ToWStr",
                   "Trying to convert an empty string to a wide string.");
            return m_wstr ? *m_wstr : kEmptyWStr;
        }
        std::u16string converted;
        if (!Utf8ToUtf16(*m_str, converted)) {
            HY_LOG(LL_Warning, kDataLayerCategory, "DMLField::ToWStr",
                   "Unable to convert a string to a wide string.");
            return m_wstr ? *m_wstr : kEmptyWStr;
        }
        AssignWide(m_wstr, std::move(converted));
    } else {
        char buffer[40];
        FormatNumber(m_type, m_gid, m_u32, m_flt, m_dbl, buffer);
        AssignWide(m_wstr, std::u16string(buffer, buffer + std::strlen(buffer)));
    }
    m_mask |= DMLTypeBit(DML_WSTRING);
    return *m_wstr;
}

int DMLField::Compare(const DMLField& right) const {
    auto order = [](auto a, auto b) { return a < b ? -1 : (b < a ? 1 : 0); };
    switch (m_type) {
        case DML_INT: return order(GetInt(), right.GetInt());
        case DML_UINT: return order(GetUInt(), right.GetUInt());
        case DML_FLT: return order(GetFloat(), right.GetFloat());
        case DML_DBL: return order(GetDouble(), right.GetDouble());
        case DML_BYT: return order(GetByte(), right.GetByte());
        case DML_UBYT: return order(GetUByte(), right.GetUByte());
        case DML_USHRT: return order(GetUShort(), right.GetUShort());
        case DML_STRING: {
            int c = ToStr().compare(right.ToStr());
            return c < 0 ? -1 : (c > 0 ? 1 : 0);
        }
        case DML_WSTRING: {
            int c = ToWStr().compare(right.ToWStr());
            return c < 0 ? -1 : (c > 0 ? 1 : 0);
        }
        default: return order(GetGID(), right.GetGID());
    }
}

// ---- Binary form ------------------------------------------------------------------------------

void DMLField::AppendBinary(uint8_t type, std::string& out) const {
    switch (type) {
        case DML_GID: AppendLE<uint64_t>(out, GetGID()); break;
        case DML_INT: AppendLE<uint32_t>(out, static_cast<uint32_t>(GetInt())); break;
        case DML_UINT: AppendLE<uint32_t>(out, GetUInt()); break;
        case DML_FLT: {
            float f = GetFloat();
            uint32_t bits;
            std::memcpy(&bits, &f, 4);
            AppendLE<uint32_t>(out, bits);
            break;
        }
        case DML_BYT: AppendLE<uint8_t>(out, static_cast<uint8_t>(GetByte())); break;
        case DML_UBYT: AppendLE<uint8_t>(out, GetUByte()); break;
        case DML_USHRT: AppendLE<uint16_t>(out, GetUShort()); break;
        case DML_DBL: {
            double d = GetDouble();
            uint64_t bits;
            std::memcpy(&bits, &d, 8);
            AppendLE<uint64_t>(out, bits);
            break;
        }
        case DML_STRING: {
            const std::string& text = ToStr();
            // The length field has 16 bits: a longer text is cut rather than mis-framed.
            uint16_t length = static_cast<uint16_t>(text.size() > 0xFFFF ? 0xFFFF : text.size());
            AppendLE<uint16_t>(out, length);
            out.append(text.data(), length);
            break;
        }
        case DML_WSTRING: {
            const std::u16string& text = ToWStr();
            uint16_t count = static_cast<uint16_t>(text.size() > 0xFFFF ? 0xFFFF : text.size());
            AppendLE<uint16_t>(out, count);
            for (uint16_t i = 0; i < count; ++i) AppendLE<uint16_t>(out, text[i]);
            break;
        }
        default:
            HY_LOG(LL_Warning, kDataLayerCategory, "DMLField::AppendBinary",
                   "DMLField::AppendBinary: Unknown Data Type.");
            break;
    }
}

bool DMLField::FromBinary(uint8_t type, const uint8_t*& cursor, const uint8_t* end) {
    size_t available = cursor < end ? static_cast<size_t>(end - cursor) : 0;
    int width = DMLFixedBinaryWidth(type);
    if (type == DML_STRING || type == DML_WSTRING) {
        if (available < 2) {
            cursor = end;
            return false;
        }
        size_t count = ReadLE<uint16_t>(cursor);
        size_t bytes = type == DML_STRING ? count : count * 2;
        if (available - 2 < bytes) {
            cursor = end;
            return false;
        }
        const uint8_t* text = cursor + 2;
        BeginChange();
        if (type == DML_STRING) {
            m_str.emplace(reinterpret_cast<const char*>(text), count);
        } else {
            std::u16string wide(count, u'\0');
            for (size_t i = 0; i < count; ++i) wide[i] = ReadLE<uint16_t>(text + 2 * i);
            AssignWide(m_wstr, std::move(wide));
        }
        EndChange(type);
        cursor += 2 + bytes;
        return true;
    }
    if (width == 0) {
        HY_LOG(LL_DebugMed, kDataLayerCategory, "DMLField::FromBinary",
               "DMLField::FromBinary: Unknown Data Type.");
        cursor = end;
        return false;
    }
    if (available < static_cast<size_t>(width)) {
        cursor = end;
        return false;
    }
    const uint8_t* p = cursor;
    cursor += width;
    switch (type) {
        case DML_GID: SetValue(ReadLE<uint64_t>(p)); break;
        case DML_INT: SetValue(static_cast<int32_t>(ReadLE<uint32_t>(p))); break;
        case DML_UINT: SetValue(ReadLE<uint32_t>(p)); break;
        case DML_FLT: {
            uint32_t bits = ReadLE<uint32_t>(p);
            float f;
            std::memcpy(&f, &bits, 4);
            SetValue(f);
            break;
        }
        case DML_BYT: SetValue(static_cast<int8_t>(p[0])); break;
        case DML_UBYT: SetValue(static_cast<uint8_t>(p[0])); break;
        case DML_USHRT: SetValue(ReadLE<uint16_t>(p)); break;
        case DML_DBL: {
            uint64_t bits = ReadLE<uint64_t>(p);
            double d;
            std::memcpy(&d, &bits, 8);
            SetValue(d);
            break;
        }
        default: break;
    }
    return true;
}
