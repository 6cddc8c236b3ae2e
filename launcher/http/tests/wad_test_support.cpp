#include "wad_test_support.h"

#include "WadWriter.h"
#include "http_test_support.h"

PublishedWad PublishWad(const std::map<std::string, std::string>& elements, const std::string& workDir,
                        bool compress) {
    WadWriter writer;
    for (const auto& [name, data] : elements) writer.Add(name, data, compress);
    PublishedWad wad;
    writer.Build(wad.archive);
    std::string path = workDir + "/published.wad";
    WriteFile(path, wad.archive);
    std::string error;
    larkwad::WriteHeaderFile(path, "", wad.info, error);
    wad.headerGz = ReadFile(path + ".hdr.gz");
    return wad;
}

ElementPlace PlaceOf(const PublishedWad& wad, const std::string& name, const std::string& workDir) {
    std::string path = workDir + "/place.wad";
    WriteFile(path, wad.archive);
    std::vector<larkwad::ListedElement> listed;
    std::string error;
    larkwad::ListArchive(path, listed, error);
    for (const auto& element : listed)
        if (element.name == name) return {element.dataPosition, element.packedSize};
    return {};
}
