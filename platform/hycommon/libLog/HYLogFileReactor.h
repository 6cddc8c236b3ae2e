// The non-blocking file reactor: queues records and writes them through a HYLogFileIoA on its
// own thread, flushing once per batch and before releasing a waiting caller.
#pragma once

#include <memory>

#include "HYLogFileIoA.h"
#include "HYLogNBReactor.h"

class HYLogFileReactor : public HYLogNBReactor {
public:
    HYLogFileReactor(std::string name, uint8_t defaultLevel, uint32_t capacity,
                     std::unique_ptr<HYLogFileIoA> file);
    ~HYLogFileReactor() override;

    // Sets the prefix format of the lines.
    void SetOption(int value) override;
    int Open() override;
    void Close() override;
    int Write(const LogRecord& record) override;
    const char* CrashLogPath() const override;
    int CrashPrefixFormat() const override { return m_file->PrefixFormat(); }

    // Only for use on the reactor's thread, or while the reactor is stopped.
    HYLogFileIoA& File() { return *m_file; }

protected:
    void OnBatchWritten() override;

private:
    std::unique_ptr<HYLogFileIoA> m_file;
};
