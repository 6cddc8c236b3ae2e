#include "DynWadValidateEngine.h"

#include "LogMessage.h"

int DynWadValidateEngine::Open() {
    const FileRequest& request = *m_request;
    m_elements.clear();
    m_validElements.clear();
    m_nextElement = 0;
    m_file = HY_OS::File::Open(request.m_localPath, HY_OS::FileMode::Read);
    if (!m_file.IsOpen() || !m_localWad) {
        HY_LOG(LL_Error, kHttpFileCategory, "DynWadValidateEngine::ProcessCheckElemList",
               "Unable to open (%s).", request.m_localPath.c_str());
        return EC_FileError;
    }
    for (const auto& entry : m_localWad->Elements()) m_elements.push_back(&entry.second);
    return EC_Ok;
}

int DynWadValidateEngine::Transfer(bool& done) { return ProcessCheckElemList(done); }

int DynWadValidateEngine::ProcessCheckElemList(bool& done) {
    const char* fn = "DynWadValidateEngine::ProcessCheckElemList";
    FileRequest& request = *m_request;
    done = false;
    if (m_nextElement < m_elements.size()) {
        const WadElement& element = *m_elements[m_nextElement++];
        uint32_t crc = 0;
        if (RangeCrc(m_file, element.DataPosition(), element.PackedSize(), crc) && crc == element.Crc())
            m_validElements.push_back({element.DataPosition(), element.PackedSize(), element.Crc()});
        return EC_Ok;
    }
    m_file.Close();
    if (!WriteUtdFile(request.m_localPath + ".utd", m_validElements, false, fn)) return EC_FileError;
    request.m_bytesDone = request.m_size;
    done = true;
    return EC_Ok;
}
