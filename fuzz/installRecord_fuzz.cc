// readInstallRecord over any installation record: it names one of the
// four products or none, and only a product whose text the record holds.
#include <algorithm>
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
    if (product.empty())
        return 0;
    const auto products = pelo::databaseProducts();
    const auto named = std::ranges::find(products, product, &pelo::DialectSettings::name);
    require(named != products.end(), "the product is one of the four");
    require(memmem(data, size, named->recordText, std::strlen(named->recordText)) != nullptr,
            "the record names the product it gives");
    return 0;
}
