// Fuzzes the profile reader and writer: any file can be read, and after a key is written it
// reads back as written while the other keys keep their values.
#include "settings/profile_file.h"

#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

std::string folder;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char pattern[] = "/tmp/orvanta-fuzz-profile-XXXXXX";
    if (!::mkdtemp(pattern)) std::abort();
    folder = pattern;
    std::atexit([] {
        ::unlink((folder + "/orvanta.ini").c_str());
        ::rmdir(folder.c_str());
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = folder + "/orvanta.ini";
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), std::streamsize(size));
    }
    orv::ProfileFile file(path);
    const std::string before = file.read("preferences", "filename", "<none>");
    const std::string other = file.read("preferences", "recent file 0", "<none>");
    const std::string elsewhere = file.read("project", "filename", "<none>");
    orv::readProfileNumber(file, "preferences", "edgeFactor");
    orv::readProfileText(file, "Preferences", "Montage method");

    file.write("preferences", "filename", "/pics/rock01.bmp");
    if (file.read("preferences", "filename", "<none>") != "/pics/rock01.bmp") std::abort();
    if (file.read("project", "filename", "<none>") != elsewhere) std::abort();
    // Another key of the same section is untouched unless it is the same key spelt otherwise.
    if (file.read("preferences", "recent file 0", "<none>") != other) std::abort();
    (void)before;
    return 0;
}
