#include "DMLRecord.h"

#include <cstring>

#include "DMLTable.h"
#include "LogMessage.h"

DMLRecord::DMLRecord(const DMLRecord& other) { *this = other; }

DMLRecord& DMLRecord::operator=(const DMLRecord& other) {
    if (&other == this) return *this;
    m_isMessage = other.m_isMessage;
    m_serviceId = other.m_serviceId;
    m_msgType = other.m_msgType;
    m_accessLevel = other.m_accessLevel;
    m_fixedLength = other.m_fixedLength;
    m_fixedSize = other.m_fixedSize;
    m_modified = other.m_modified;
    m_locked = other.m_locked;
    m_deleted = other.m_deleted;
    if (m_table) m_table->RemoveRecordKeys(*this);
    m_table = other.m_table;
    CopyEntriesFrom(other);
    return *this;
}

DMLRecord::~DMLRecord() {
    if (m_refCount.load(std::memory_order_relaxed) != 0) {
        HY_LOG(LL_Error, kDataLayerCategory, "DMLRecord::~DMLRecord",
               "Deleting Record with Active References.");
        HY_LOG(LL_Error, kDataLayerCategory, "DMLRecord::~DMLRecord", "Record: %s",
               ToText(DTF_Xml).c_str());
    }
    if (m_table) m_table->RemoveRecordKeys(*this);
}

void DMLRecord::Release() {
    if (m_refCount.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
}

namespace {

// Compares a stored 32-byte name with a looked-up name cut to 31 characters.
inline bool NameEquals(const char (&stored)[kDMLMaxNameLength + 1], std::string_view name) {
    size_t length = name.size() > kDMLMaxNameLength ? kDMLMaxNameLength : name.size();
    return stored[length] == '\0' && std::memcmp(stored, name.data(), length) == 0;
}

}  // namespace

DMLField* DMLRecord::FindField(std::string_view name) {
    for (auto& entry : m_entries) {
        if (NameEquals(entry->name, name)) return &entry->field;
    }
    return nullptr;
}

const DMLField* DMLRecord::FindField(std::string_view name) const {
    return const_cast<DMLRecord*>(this)->FindField(name);
}

DMLRecord::Entry& DMLRecord::AddEntry(std::string_view name) {
    auto entry = std::make_unique<Entry>();
    size_t length = name.size() > kDMLMaxNameLength ? kDMLMaxNameLength : name.size();
    // A name holding a NUL is kept up to the NUL, as the fixed buffer would hold it.
    std::memcpy(entry->name, name.data(), length);
    entry->field.SetOwner(this);
    m_entries.push_back(std::move(entry));
    return *m_entries.back();
}

DMLField& DMLRecord::GetField(std::string_view name) {
    if (DMLField* field = FindField(name)) return *field;
    return AddEntry(name).field;
}

DMLField& DMLRecord::GetField(const char* name) {
    if (name) return GetField(std::string_view(name));
    thread_local DMLField scratch;
    scratch.Reset();
    return scratch;
}

bool DMLRecord::RemoveField(std::string_view name) {
    for (auto it = m_entries.begin(); it != m_entries.end(); ++it) {
        if (NameEquals((*it)->name, name)) {
            if (m_table) m_table->RemoveKey(&(*it)->field);
            m_entries.erase(it);
            return true;
        }
    }
    return false;
}

void DMLRecord::Clear() {
    if (m_table) m_table->RemoveRecordKeys(*this);
    m_entries.clear();
}

void DMLRecord::CopyEntriesFrom(const DMLRecord& other) {
    if (&other == this) return;
    Clear();
    m_entries.reserve(other.m_entries.size());
    for (const auto& source : other.m_entries) {
        auto entry = std::make_unique<Entry>();
        std::memcpy(entry->name, source->name, sizeof entry->name);
        entry->field.SetOwner(this);
        entry->field.CopyFrom(source->field, false);
        m_entries.push_back(std::move(entry));
    }
}

bool DMLRecord::ComputeFixedLength() {
    uint32_t size = 0;
    for (const auto& entry : m_entries) {
        const DMLField& field = entry->field;
        if (!field.HasFlag(DMLF_XFER)) continue;
        if (field.Type() == DML_STRING || field.Type() == DML_WSTRING) {
            SetFixedLength(false, 0);
            return false;
        }
        size += static_cast<uint32_t>(DMLFixedBinaryWidth(field.Type()));
    }
    if (size + 2 > kDMLMaxMessageSize) {
        SetFixedLength(false, 0);
        return false;
    }
    SetFixedLength(true, static_cast<uint16_t>(size));
    return true;
}

void DMLRecord::SetLocked(bool locked) {
    if (m_deleted) return;
    m_locked = locked;
    for (auto& entry : m_entries) entry->field.SetFlag(DMLF_LOCK, locked);
}
