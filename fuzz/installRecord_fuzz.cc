// readInstallRecord over any installation record: it names one of the
// four products or none, and only a product whose text the record holds.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "archive/dialect.h"
#include "archive/peloarchive.h"
#include "fuzzSupport.h"

using pelo::fuzz::require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // fmemopen refuses an empty buffer; an empty record is one byte of nothing.
    std::vector<char> bytes(data, data + size);
    bytes.push_back('\0');
    std::FILE* record = fmemopen(bytes.data(), size == 0 ? 1 : size, "r");
    require(record != nullptr, "the record opens");
    const std::string product = pelo::readInstallRecord(record);
    std::fclose(record);
    require(product.empty() || product == "oracle" || product == "informix" || product == "sybase" ||
                product == "dizoz",
            "the product is \"\", oracle, informix, sybase or dizoz");
    if (product.empty())
        return 0;
    for (const pelo::DialectSettings& settings : pelo::databaseProducts())
        if (product == settings.name)
            require(memmem(data, size, settings.recordText, std::strlen(settings.recordText)) != nullptr,
                    "the record names the product it gives");
    return 0;
}
