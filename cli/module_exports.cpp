#include "cli/module_exports.h"

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>

namespace pipeway {

namespace {

// Little-endian fields of a file image, read with bounds checks.
class Image {
  public:
    explicit Image(std::vector<unsigned char> bytes) : m_bytes(std::move(bytes)) {}

    bool Has(std::uint64_t offset, std::uint64_t size) const {
        return offset <= m_bytes.size() && size <= m_bytes.size() - offset;
    }
    // The field at `offset`, or nothing when the file is too short.
    template <typename T>
    std::optional<T> Read(std::uint64_t offset) const {
        if (!Has(offset, sizeof(T))) {
            return std::nullopt;
        }
        T value = 0;
        for (std::size_t i = 0; i < sizeof(T); ++i) {
            value = static_cast<T>(value |
                                   static_cast<T>(static_cast<T>(m_bytes[offset + i]) << (8 * i)));
        }
        return value;
    }
    // The NUL-terminated text at `offset`, or nothing when it runs past the end.
    std::optional<std::string> Text(std::uint64_t offset) const {
        if (offset >= m_bytes.size()) {
            return std::nullopt;
        }
        const auto* start = reinterpret_cast<const char*>(m_bytes.data() + offset);
        const void* end = std::memchr(start, '\0', m_bytes.size() - offset);
        if (end == nullptr) {
            return std::nullopt;
        }
        return std::string(start, static_cast<const char*>(end));
    }
    bool StartsWith(const char* magic, std::size_t size) const {
        return m_bytes.size() >= size && std::memcmp(m_bytes.data(), magic, size) == 0;
    }

  private:
    std::vector<unsigned char> m_bytes;
};

// The defined global or weak symbols of default visibility in the dynamic symbol table.
std::optional<std::vector<std::string>> ElfExports(const Image& image) {
    constexpr std::uint32_t kDynamicSymbols = 11;  // SHT_DYNSYM
    if (image.Read<std::uint8_t>(4) != 2 || image.Read<std::uint8_t>(5) != 1) {
        return std::nullopt;  // only 64-bit little-endian objects
    }
    const auto sectionTable = image.Read<std::uint64_t>(0x28);
    const auto entrySize = image.Read<std::uint16_t>(0x3A);
    const auto count = image.Read<std::uint16_t>(0x3C);
    if (!sectionTable || !entrySize || !count || *entrySize < 64) {
        return std::nullopt;
    }
    const auto section = [&](std::uint64_t index) { return *sectionTable + index * *entrySize; };
    std::vector<std::string> names;
    for (std::uint16_t i = 0; i < *count; ++i) {
        if (image.Read<std::uint32_t>(section(i) + 4) != kDynamicSymbols) {
            continue;
        }
        const auto symbols = image.Read<std::uint64_t>(section(i) + 24);
        const auto size = image.Read<std::uint64_t>(section(i) + 32);
        const auto link = image.Read<std::uint32_t>(section(i) + 40);
        if (!symbols || !size || !link || *link >= *count) {
            return std::nullopt;
        }
        const auto strings = image.Read<std::uint64_t>(section(*link) + 24);
        if (!strings || !image.Has(*symbols, *size)) {
            return std::nullopt;
        }
        for (std::uint64_t symbol = *symbols; symbol + 24 <= *symbols + *size; symbol += 24) {
            const std::uint8_t info = *image.Read<std::uint8_t>(symbol + 4);
            const std::uint8_t other = *image.Read<std::uint8_t>(symbol + 5);
            const std::uint16_t sectionIndex = *image.Read<std::uint16_t>(symbol + 6);
            const int binding = info >> 4;
            if (sectionIndex == 0 || (binding != 1 && binding != 2) || (other & 3) != 0) {
                continue;
            }
            const auto name = image.Text(*strings + *image.Read<std::uint32_t>(symbol));
            if (name && !name->empty()) {
                names.push_back(*name);
            }
        }
    }
    return names;
}

// The names of the export directory.
std::optional<std::vector<std::string>> PeExports(const Image& image) {
    const auto header = image.Read<std::uint32_t>(0x3C);
    if (!header || image.Read<std::uint32_t>(*header) != 0x00004550) {  // "PE\0\0"
        return std::nullopt;
    }
    const auto sectionCount = image.Read<std::uint16_t>(*header + 6);
    const auto optionalSize = image.Read<std::uint16_t>(*header + 20);
    const std::uint64_t optional = *header + 24;
    const auto magic = image.Read<std::uint16_t>(optional);
    if (!sectionCount || !optionalSize || !magic || (*magic != 0x20B && *magic != 0x10B)) {
        return std::nullopt;
    }
    const std::uint64_t directories = optional + (*magic == 0x20B ? 112 : 96);
    const auto exportRva = image.Read<std::uint32_t>(directories);
    if (!exportRva || *exportRva == 0) {
        return std::vector<std::string>();
    }
    const std::uint64_t sections = optional + *optionalSize;
    // The file offset of an address of the loaded image.
    const auto fileOffset = [&](std::uint32_t rva) -> std::optional<std::uint64_t> {
        for (std::uint16_t i = 0; i < *sectionCount; ++i) {
            const std::uint64_t entry = sections + i * 40ull;
            const auto virtualSize = image.Read<std::uint32_t>(entry + 8);
            const auto address = image.Read<std::uint32_t>(entry + 12);
            const auto rawSize = image.Read<std::uint32_t>(entry + 16);
            const auto raw = image.Read<std::uint32_t>(entry + 20);
            if (!virtualSize || !address || !rawSize || !raw) {
                return std::nullopt;
            }
            const std::uint32_t extent = *virtualSize > *rawSize ? *virtualSize : *rawSize;
            if (rva >= *address && rva - *address < extent) {
                return std::uint64_t{*raw} + (rva - *address);
            }
        }
        return std::nullopt;
    };
    const auto directory = fileOffset(*exportRva);
    if (!directory) {
        return std::nullopt;
    }
    const auto nameCount = image.Read<std::uint32_t>(*directory + 24);
    const auto nameTableRva = image.Read<std::uint32_t>(*directory + 32);
    const auto nameTable = nameTableRva ? fileOffset(*nameTableRva) : std::nullopt;
    if (!nameCount || !nameTable) {
        return std::nullopt;
    }
    std::vector<std::string> names;
    for (std::uint32_t i = 0; i < *nameCount; ++i) {
        const auto nameRva = image.Read<std::uint32_t>(*nameTable + 4ull * i);
        const auto offset = nameRva ? fileOffset(*nameRva) : std::nullopt;
        const auto name = offset ? image.Text(*offset) : std::nullopt;
        if (!name) {
            return std::nullopt;
        }
        names.push_back(*name);
    }
    return names;
}

}  // namespace

std::optional<std::vector<std::string>> ExportedNames(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    const Image image(std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {}));
    if (image.StartsWith("\x7F"
                         "ELF",
                         4)) {
        return ElfExports(image);
    }
    if (image.StartsWith("MZ", 2)) {
        return PeExports(image);
    }
    return std::nullopt;
}

}  // namespace pipeway
