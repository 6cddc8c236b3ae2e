// One typed value of the data layer. A field holds a value of one of ten scalar types and
// converts it on demand into any other type; each conversion is kept in that type's slot (marked
// in the validity mask) so a second read does not convert again.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "DMLTypes.h"

class DMLRecord;

class DMLField {
public:
    // A new field is INT 0 with only the transfer flag set.
    DMLField() = default;
    DMLField(const DMLField& other) { CopyFrom(other, false); }
    DMLField& operator=(const DMLField& other) {
        Assign(other);
        return *this;
    }
    virtual ~DMLField() = default;

    // Hooks a derived field may use; they do nothing here.
    virtual void OnAttach() {}
    virtual void OnDetach() {}
    // Back to the state of a new field (the owner stays).
    virtual void Reset();
    virtual void Assign(const DMLField& other) { CopyFrom(other, false); }
    // Copies type, flags (without the indexed bit, with MOD set), persistence, declared length
    // and value. With `move` a text is taken from `other`, which is left without one.
    virtual void CopyFrom(const DMLField& other, bool move);

    // Writing: the type becomes the value's type unless LOCK is set, in which case the value is
    // converted into the field's own type.
    void SetValue(uint64_t gid);
    void SetValue(int32_t value);
    void SetValue(uint32_t value);
    void SetValue(float value);
    void SetValue(int8_t value);
    void SetValue(uint8_t value);
    void SetValue(uint16_t value);
    void SetValue(double value);
    void SetValue(std::string_view text);
    void SetValue(const char* text) { SetValue(std::string_view(text ? text : "")); }
    void SetValue(const char* text, size_t length) { SetValue(std::string_view(text, length)); }
    void SetValue(std::u16string_view text);
    // Converts `other` into this field's current type and stores it.
    void SetValueKeepType(const DMLField& other);
    // Converts the current value into `type` and takes that type; MOD is not set.
    void SetType(uint8_t type);
    void SetModified(bool modified);

    // Reading, converted into the getter's type.
    uint64_t GetGID() const;
    int32_t GetInt() const;
    uint32_t GetUInt() const;
    float GetFloat() const;
    double GetDouble() const;
    int8_t GetByte() const;
    uint8_t GetUByte() const;
    uint16_t GetUShort() const;
    // The 8-bit and 16-bit text forms, kept in the text slots.
    const std::string& ToStr() const;
    const std::u16string& ToWStr() const;
    // The raw text slots; nullptr when absent.
    const std::string* StrSlot() const { return m_str ? &*m_str : nullptr; }
    const std::u16string* WStrSlot() const { return m_wstr ? &*m_wstr : nullptr; }

    // Comparisons in the left field's type.
    bool operator<(const DMLField& right) const { return Compare(right) < 0; }
    bool operator>(const DMLField& right) const { return Compare(right) > 0; }
    bool operator<=(const DMLField& right) const { return Compare(right) <= 0; }
    bool operator>=(const DMLField& right) const { return Compare(right) >= 0; }
    int Compare(const DMLField& right) const;

    // Appends the value read through the getter of `type`.
    void AppendBinary(uint8_t type, std::string& out) const;
    // Reads one value of `type` at `cursor`; false (and `cursor` = `end`) when it does not fit.
    bool FromBinary(uint8_t type, const uint8_t*& cursor, const uint8_t* end);

    uint8_t Type() const { return m_type; }
    uint8_t Flags() const { return m_flags; }
    void SetFlags(uint8_t flags) { m_flags = flags; }
    bool HasFlag(uint8_t flag) const { return (m_flags & flag) != 0; }
    void SetFlag(uint8_t flag, bool on) { m_flags = on ? (m_flags | flag) : (m_flags & ~flag); }
    bool IsModified() const { return HasFlag(DMLF_MOD); }
    uint8_t Persistence() const { return m_persistence; }
    void SetPersistence(uint8_t persistence) { m_persistence = persistence; }
    int16_t DeclaredLength() const { return m_declaredLength; }
    void SetDeclaredLength(int16_t length) { m_declaredLength = length; }
    uint16_t ValidMask() const { return m_mask; }
    DMLRecord* Owner() const { return m_owner; }
    void SetOwner(DMLRecord* owner) { m_owner = owner; }

private:
    template <typename Store>
    void StoreValue(uint8_t type, Store store);
    void BeginChange();
    void EndChange(uint8_t type);
    void ClearValues();
    bool IsIndexedKey() const;
    // The current text for the numeric conversions (WSTR converted to UTF-8 into `scratch`).
    const char* SourceText(std::string& scratch) const;
    int64_t SourceInteger() const;

    // Laid out largest first: tables hold many fields.
    mutable double m_dbl = 0.0;
    mutable uint64_t m_gid = 0;
    mutable std::optional<std::string> m_str;
    mutable std::unique_ptr<std::u16string> m_wstr;  // wide text is rare
    DMLRecord* m_owner = nullptr;
    mutable float m_flt = 0.0f;
    mutable uint32_t m_u32 = 0;  // INT, UINT, BYT, UBYT and USHRT; the small types use low bytes
    mutable uint16_t m_mask = 0;
    int16_t m_declaredLength = 0;
    uint8_t m_type = DML_INT;
    uint8_t m_flags = DMLF_XFER;
    uint8_t m_persistence = PER_NORM;
};
