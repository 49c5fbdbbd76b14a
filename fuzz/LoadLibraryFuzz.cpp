// Feeds arbitrary bytes to the library reader as a .zva container, in memory, and
// to the reader of recovery copies behind their signature.
#include "admanager/library/LibraryFile.h"
#include "admanager/library/RecoveryFile.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    {
        std::string copy(RecoveryFile::Signature());
        copy.append(reinterpret_cast<const char*>(data), size);
        RecoveryFile::Header header;
        AdLibrary recovered;
        RecoveryFile::Decode(copy, header, recovered);
    }
    AdLibrary lib;
    if (!DecodeLibrary(lib, std::string_view(reinterpret_cast<const char*>(data), size)))
        return 0;
    // Whatever loaded must encode, and what it encodes to must read back to the
    // same bytes: loading repairs a damaged file once and for all.
    std::string first;
    if (!EncodeLibrary(lib, first))
        std::abort();
    AdLibrary again;
    std::string second;
    if (!DecodeLibrary(again, first) || !EncodeLibrary(again, second) || first != second)
        std::abort();
    return 0;
}
