#include "HYLogFileReactor.h"

HYLogFileReactor::HYLogFileReactor(std::string name, uint8_t defaultLevel, uint32_t capacity,
                                   std::unique_ptr<HYLogFileIoA> file)
    : HYLogNBReactor(std::move(name), defaultLevel, capacity), m_file(std::move(file)) {
    m_file->SetDeferredFlush(true);
}

HYLogFileReactor::~HYLogFileReactor() {
    // Stop here, while this object's Close still exists for the reactor's thread to call.
    if (State() != LRS_Stopped) Stop();
}

void HYLogFileReactor::SetOption(int value) { m_file->SetPrefixFormat(value); }

int HYLogFileReactor::Open() { return m_file->Open() ? 0 : 1; }

void HYLogFileReactor::Close() { m_file->Close(); }

int HYLogFileReactor::Write(const LogRecord& record) { return m_file->Write(record); }

void HYLogFileReactor::OnBatchWritten() { m_file->Flush(); }

const char* HYLogFileReactor::CrashLogPath() const {
    return m_file->Mode() == 0 ? nullptr : m_file->Path().c_str();
}
