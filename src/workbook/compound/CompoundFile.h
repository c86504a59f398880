// The compound file that holds an Excel 97-2003 workbook: sectors, allocation tables, directory and
// streams, parsed with bounds and loop checks so that damaged input is refused rather than trusted.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace veltrum::workbook {

class CompoundFileError : public std::runtime_error {
public:
    enum class Reason {
        NotCompoundFile, // the bytes do not start with the compound file signature
        Damaged,         // a header field, table or chain points outside the file or loops
    };
    CompoundFileError(Reason reason, const std::string& message)
        : std::runtime_error(message)
        , m_reason(reason) {}
    Reason reason() const { return m_reason; }

private:
    Reason m_reason;
};

enum class EntryType : std::uint8_t { Unused = 0, Storage = 1, Stream = 2, Root = 5, Other = 0xFF };

struct DirectoryEntry {
    static constexpr std::uint32_t None = 0xFFFFFFFF;

    std::array<std::uint8_t, 128> raw{}; // the entry exactly as stored, for a writer to copy
    std::u16string name;
    std::string utf8Name;
    EntryType type = EntryType::Unused;
    std::uint8_t color = 0;
    std::uint32_t left = None;
    std::uint32_t right = None;
    std::uint32_t child = None;
    std::uint32_t startSector = 0;
    std::uint64_t size = 0;      // the upper 32 bits are ignored in 512-byte-sector files
    std::uint32_t parent = None; // the storage whose tree holds the entry; None for the root and orphans
};

class CompoundFile {
public:
    static constexpr std::uint32_t EndOfChain = 0xFFFFFFFE;
    static constexpr std::uint32_t FreeSector = 0xFFFFFFFF;
    static constexpr std::uint32_t FatSector = 0xFFFFFFFD;
    static constexpr std::uint32_t DifatSector = 0xFFFFFFFC;
    static constexpr std::size_t HeaderSize = 512;

    static bool hasSignature(std::span<const std::uint8_t> bytes);

    // Parses header, allocation tables, directory and mini stream; throws CompoundFileError.
    explicit CompoundFile(std::vector<std::uint8_t> bytes);
    // The same over a file read as text, kept without a copy.
    explicit CompoundFile(std::string bytes);
    // Moves keep the view valid (the bytes stay where they are); copies would not.
    CompoundFile(const CompoundFile&) = delete;
    CompoundFile& operator=(const CompoundFile&) = delete;
    CompoundFile(CompoundFile&&) = default;
    CompoundFile& operator=(CompoundFile&&) = default;

    std::span<const std::uint8_t> bytes() const { return m_bytes; }
    // The 512 header bytes as stored (the rest of a 4096-byte header sector is zero).
    std::span<const std::uint8_t> header() const { return {m_bytes.data(), HeaderSize}; }
    int majorVersion() const { return m_majorVersion; }
    std::uint32_t sectorSize() const { return m_sectorSize; }
    std::uint32_t miniSectorSize() const { return m_miniSectorSize; }
    std::uint32_t miniStreamCutoff() const { return m_miniStreamCutoff; }
    std::uint32_t sectorCount() const { return m_sectorCount; }
    std::uint32_t headerSectorSize() const { return m_headerSectorSize; }
    // The allocation table as read (one entry per sector the FAT sectors can describe).
    const std::vector<std::uint32_t>& fat() const { return m_fat; }
    // The sectors of a stream in regular sectors, or of the directory (start from the header), in
    // order; throws when the chain leaves the file or loops.
    std::vector<std::uint32_t> sectorChain(std::uint32_t start) const {
        return chain(start, m_sectorCount, "a stream");
    }

    // Entry 0 is the root storage; ids index this vector.
    const std::vector<DirectoryEntry>& entries() const { return m_entries; }
    // Ids of the entries directly inside a storage, in tree order.
    std::vector<std::uint32_t> children(std::uint32_t storage) const;
    // An entry directly inside `storage` whose name matches without regard to case.
    std::optional<std::uint32_t> findChild(std::uint32_t storage, std::string_view utf8Name) const;
    // A stream directly inside the root storage.
    std::optional<std::uint32_t> findStream(std::string_view utf8Name) const;

    // Whether the stream's bytes live in the mini stream (small streams) or in regular sectors.
    bool isInMiniStream(std::uint32_t entry) const;
    // The bytes of a stream entry (or of the root's mini stream for id 0); throws when damaged.
    std::vector<std::uint8_t> readStream(std::uint32_t entry) const;
    // The stream's bytes in place when its sectors follow one another in the file, saving a copy;
    // empty otherwise. Throws when damaged.
    std::optional<std::span<const std::uint8_t>> streamInPlace(std::uint32_t entry) const;
    // The stream's bytes in place, after moving its sectors together inside the file's buffer when they
    // lie in ascending order (a copy of a large stream would double the memory a reader needs); empty
    // otherwise. Once it has moved sectors, no other stream of the file can be read.
    std::optional<std::span<const std::uint8_t>> gatherStreamInPlace(std::uint32_t entry);

private:
    void readHeader();
    void readFat();
    void readDirectory();
    void linkDirectoryTree();
    void readMiniStream();
    std::uint64_t entrySize(const DirectoryEntry& entry) const;
    const std::uint8_t* sectorData(std::uint32_t sector, std::uint32_t& available) const;
    std::vector<std::uint32_t> chain(std::uint32_t start, std::size_t maxLength, const char* what) const;
    void checkNoSectorSharing() const;
    std::vector<std::uint32_t> miniChain(std::uint32_t start, std::size_t length) const;
    std::vector<std::uint8_t> readRegular(std::uint32_t start, std::uint64_t size, const char* what) const;

    void parse();

    // The file's bytes live in one of the two; m_bytes views them.
    std::vector<std::uint8_t> m_ownedBytes;
    std::string m_ownedText;
    std::span<const std::uint8_t> m_bytes;
    int m_majorVersion = 3;
    std::uint32_t m_sectorSize = 512;
    std::uint32_t m_miniSectorSize = 64;
    std::uint32_t m_miniStreamCutoff = 4096;
    std::uint32_t m_headerSectorSize = 512;
    std::uint32_t m_sectorCount = 0;
    std::vector<std::uint32_t> m_fat;
    std::vector<std::uint32_t> m_miniFat;
    std::vector<std::uint8_t> m_miniStream;
    std::vector<DirectoryEntry> m_entries;
};

} // namespace veltrum::workbook
