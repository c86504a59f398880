#include "workbook/compound/CompoundFile.h"

#include "workbook/encoding/LittleEndian.h"
#include "workbook/encoding/Unicode.h"

#include <algorithm>
#include <cstring>

namespace veltrum::workbook {

namespace {

constexpr std::uint8_t Signature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
constexpr std::size_t EntrySize = 128;
constexpr std::size_t HeaderDifatEntries = 109;

[[noreturn]] void damaged(const std::string& what) {
    throw CompoundFileError(CompoundFileError::Reason::Damaged, what);
}

// Upper case as the directory compares names: ASCII and the Latin-1 letters.
char16_t upper(char16_t c) {
    if ((c >= u'a' && c <= u'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7))
        return static_cast<char16_t>(c - 0x20);
    if (c == 0xFF)
        return 0x178;
    return c;
}

bool sameName(std::u16string_view a, std::u16string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char16_t x, char16_t y) { return upper(x) == upper(y); });
}

} // namespace

bool CompoundFile::hasSignature(std::span<const std::uint8_t> bytes) {
    return bytes.size() >= sizeof Signature && std::memcmp(bytes.data(), Signature, sizeof Signature) == 0;
}

CompoundFile::CompoundFile(std::vector<std::uint8_t> bytes)
    : m_ownedBytes(std::move(bytes))
    , m_bytes(m_ownedBytes) {
    parse();
}

CompoundFile::CompoundFile(std::string bytes)
    : m_ownedText(std::move(bytes))
    , m_bytes(reinterpret_cast<const std::uint8_t*>(m_ownedText.data()), m_ownedText.size()) {
    parse();
}

void CompoundFile::parse() {
    if (!hasSignature(m_bytes))
        throw CompoundFileError(CompoundFileError::Reason::NotCompoundFile, "no compound file signature");
    readHeader();
    readFat();
    readDirectory();
    linkDirectoryTree();
    readMiniStream();
    checkNoSectorSharing();
}

void CompoundFile::readHeader() {
    if (m_bytes.size() < HeaderSize)
        damaged("the file ends inside its header");
    const std::uint8_t* h = m_bytes.data();
    m_majorVersion = get16(h + 0x1A);
    const std::uint16_t sectorShift = get16(h + 0x1E);
    const std::uint16_t miniShift = get16(h + 0x20);
    if (get16(h + 0x1C) != 0xFFFE)
        damaged("the header has a wrong byte-order mark");
    if (sectorShift != 9 && sectorShift != 12)
        damaged("the header gives an impossible sector size");
    if (miniShift != 6)
        damaged("the header gives an impossible mini sector size");
    m_sectorSize = 1u << sectorShift;
    m_miniSectorSize = 1u << miniShift;
    m_headerSectorSize = std::max<std::uint32_t>(m_sectorSize, HeaderSize);
    m_miniStreamCutoff = get32(h + 0x38);
    if (m_bytes.size() < m_headerSectorSize)
        damaged("the file ends inside its header");
    // A short last sector is read as if padded with zeros.
    const std::size_t body = m_bytes.size() - m_headerSectorSize;
    const std::size_t count = (body + m_sectorSize - 1) / m_sectorSize;
    if (count >= DifatSector)
        damaged("the file has more sectors than a compound file can address");
    m_sectorCount = static_cast<std::uint32_t>(count);
}

const std::uint8_t* CompoundFile::sectorData(std::uint32_t sector, std::uint32_t& available) const {
    if (sector >= m_sectorCount)
        damaged("a sector number points beyond the end of the file");
    const std::size_t offset = m_headerSectorSize + static_cast<std::size_t>(sector) * m_sectorSize;
    available = static_cast<std::uint32_t>(std::min<std::size_t>(m_sectorSize, m_bytes.size() - offset));
    return m_bytes.data() + offset;
}

void CompoundFile::readFat() {
    const std::uint8_t* h = m_bytes.data();
    const std::uint32_t fatCount = get32(h + 0x2C);
    if (fatCount > m_sectorCount)
        damaged("the allocation table is larger than the file");
    std::vector<std::uint32_t> fatSectors;
    fatSectors.reserve(fatCount);
    for (std::size_t i = 0; i < std::min<std::size_t>(fatCount, HeaderDifatEntries); ++i)
        fatSectors.push_back(get32(h + 0x4C + 4 * i));

    // Allocation table sectors beyond the header's 109 are listed in a chain of index sectors.
    const std::uint32_t perSector = m_sectorSize / 4;
    std::vector<bool> seen(m_sectorCount);
    std::uint32_t difat = get32(h + 0x44);
    while (fatSectors.size() < fatCount) {
        if (difat >= m_sectorCount)
            damaged("the allocation table index points outside the file");
        if (seen[difat])
            damaged("the allocation table index loops");
        seen[difat] = true;
        std::uint32_t available = 0;
        const std::uint8_t* data = sectorData(difat, available);
        if (available < m_sectorSize)
            damaged("the allocation table index is cut short");
        for (std::uint32_t i = 0; i + 1 < perSector && fatSectors.size() < fatCount; ++i)
            fatSectors.push_back(get32(data + 4 * i));
        difat = get32(data + 4 * (perSector - 1));
    }

    m_fat.resize(static_cast<std::size_t>(fatCount) * perSector);
    for (std::size_t i = 0; i < fatSectors.size(); ++i) {
        std::uint32_t available = 0;
        const std::uint8_t* data = sectorData(fatSectors[i], available);
        if (available < m_sectorSize)
            damaged("the allocation table is cut short");
        for (std::uint32_t k = 0; k < perSector; ++k)
            m_fat[i * perSector + k] = get32(data + 4 * k);
    }
}

std::vector<std::uint32_t> CompoundFile::chain(std::uint32_t start, std::size_t maxLength,
                                               const char* what) const {
    std::vector<std::uint32_t> sectors;
    std::vector<bool> seen(m_sectorCount);
    const std::uint32_t limit =
        static_cast<std::uint32_t>(std::min<std::size_t>(m_sectorCount, m_fat.size()));
    for (std::uint32_t sector = start; sector != EndOfChain && sectors.size() < maxLength;
         sector = m_fat[sector]) {
        if (sector >= limit)
            damaged(std::string("the sector chain of ") + what + " points outside the file");
        if (seen[sector])
            damaged(std::string("the sector chain of ") + what + " loops");
        seen[sector] = true;
        sectors.push_back(sector);
    }
    return sectors;
}

std::vector<std::uint8_t> CompoundFile::readRegular(std::uint32_t start, std::uint64_t size,
                                                    const char* what) const {
    if (size > static_cast<std::uint64_t>(m_sectorCount) * m_sectorSize)
        damaged(std::string("the size of ") + what + " exceeds the file");
    const std::size_t needed = static_cast<std::size_t>((size + m_sectorSize - 1) / m_sectorSize);
    const std::vector<std::uint32_t> sectors = chain(start, needed, what);
    if (sectors.size() < needed)
        damaged(std::string("the sector chain of ") + what + " is shorter than its size");
    std::vector<std::uint8_t> out(static_cast<std::size_t>(size));
    std::size_t written = 0;
    for (std::uint32_t sector : sectors) {
        std::uint32_t available = 0;
        const std::uint8_t* data = sectorData(sector, available);
        const std::size_t take = std::min<std::size_t>(m_sectorSize, out.size() - written);
        std::memcpy(out.data() + written, data, std::min<std::size_t>(take, available));
        written += take;
    }
    return out;
}

void CompoundFile::readDirectory() {
    const std::uint32_t start = get32(m_bytes.data() + 0x30);
    const std::vector<std::uint32_t> sectors = chain(start, m_sectorCount, "the directory");
    const std::size_t perSector = m_sectorSize / EntrySize;
    m_entries.resize(sectors.size() * perSector);
    for (std::size_t s = 0; s < sectors.size(); ++s) {
        std::uint32_t available = 0;
        const std::uint8_t* data = sectorData(sectors[s], available);
        for (std::size_t k = 0; k < perSector; ++k) {
            DirectoryEntry& entry = m_entries[s * perSector + k];
            if ((k + 1) * EntrySize > available)
                continue;
            const std::uint8_t* e = data + k * EntrySize;
            std::memcpy(entry.raw.data(), e, EntrySize);
            switch (e[0x42]) {
            case 0:
                entry.type = EntryType::Unused;
                break;
            case 1:
                entry.type = EntryType::Storage;
                break;
            case 2:
                entry.type = EntryType::Stream;
                break;
            case 5:
                entry.type = EntryType::Root;
                break;
            default:
                entry.type = EntryType::Other;
                break;
            }
            if (entry.type == EntryType::Unused)
                continue;
            const std::size_t nameBytes = std::min<std::size_t>(get16(e + 0x40), 64);
            for (std::size_t i = 0; i + 1 < nameBytes; i += 2) {
                const char16_t c = get16(e + i);
                if (c == 0)
                    break;
                entry.name.push_back(c);
            }
            appendUtf8(entry.name, entry.utf8Name);
            entry.color = e[0x43];
            entry.left = get32(e + 0x44);
            entry.right = get32(e + 0x48);
            entry.child = get32(e + 0x4C);
            entry.startSector = get32(e + 0x74);
            entry.size = get64(e + 0x78);
        }
    }
    if (m_entries.empty() || m_entries[0].type != EntryType::Root)
        damaged("the directory has no root entry");
}

void CompoundFile::linkDirectoryTree() {
    // Every entry may sit in exactly one place of one tree; meeting one twice means the links loop.
    std::vector<bool> seen(m_entries.size());
    seen[0] = true;
    std::vector<std::uint32_t> storages{0};
    std::vector<std::uint32_t> pending;
    while (!storages.empty()) {
        const std::uint32_t storage = storages.back();
        storages.pop_back();
        pending.assign(1, m_entries[storage].child);
        while (!pending.empty()) {
            const std::uint32_t id = pending.back();
            pending.pop_back();
            if (id == DirectoryEntry::None)
                continue;
            if (id >= m_entries.size())
                damaged("a directory entry links to an entry that does not exist");
            if (seen[id])
                damaged("the directory entries link in a loop");
            seen[id] = true;
            DirectoryEntry& entry = m_entries[id];
            if (entry.type == EntryType::Unused || entry.type == EntryType::Root)
                damaged("the directory tree links to an unused entry");
            entry.parent = storage;
            pending.push_back(entry.right);
            pending.push_back(entry.left);
            if (entry.type == EntryType::Storage)
                storages.push_back(id);
        }
    }
}

void CompoundFile::readMiniStream() {
    const std::uint8_t* h = m_bytes.data();
    const std::uint32_t miniFatCount = get32(h + 0x40);
    if (miniFatCount > m_sectorCount)
        damaged("the mini allocation table is larger than the file");
    if (miniFatCount > 0) {
        const std::vector<std::uint8_t> table =
            readRegular(get32(h + 0x3C), static_cast<std::uint64_t>(miniFatCount) * m_sectorSize,
                        "the mini allocation table");
        m_miniFat.resize(table.size() / 4);
        for (std::size_t i = 0; i < m_miniFat.size(); ++i)
            m_miniFat[i] = get32(table.data() + 4 * i);
    }
    const DirectoryEntry& root = m_entries[0];
    if (entrySize(root) > 0)
        m_miniStream = readRegular(root.startSector, entrySize(root), "the mini stream");
}

void CompoundFile::checkNoSectorSharing() const {
    // Two chains that meet (a stream running on into another's sectors) mean that at least one of them
    // is corrupt, and which one cannot be told: such a file is damaged, not read by guesswork.
    std::vector<bool> claimed(m_sectorCount);
    const auto claim = [&](std::uint32_t start, const char* what) {
        for (std::uint32_t sector : chain(start, m_sectorCount, what)) {
            if (claimed[sector])
                damaged(std::string("the sector chain of ") + what + " runs into sectors of another part");
            claimed[sector] = true;
        }
    };
    const std::uint8_t* h = m_bytes.data();
    claim(get32(h + 0x30), "the directory");
    if (get32(h + 0x40) > 0)
        claim(get32(h + 0x3C), "the mini allocation table");
    if (entrySize(m_entries[0]) > 0)
        claim(m_entries[0].startSector, "the mini stream");
    for (std::uint32_t id = 1; id < m_entries.size(); ++id) {
        const DirectoryEntry& entry = m_entries[id];
        if (entry.type == EntryType::Stream && entrySize(entry) > 0 && !isInMiniStream(id))
            claim(entry.startSector, "a stream");
    }
}

std::uint64_t CompoundFile::entrySize(const DirectoryEntry& entry) const {
    return m_majorVersion == 3 ? (entry.size & 0xFFFFFFFFu) : entry.size;
}

std::vector<std::uint32_t> CompoundFile::miniChain(std::uint32_t start, std::size_t length) const {
    const std::size_t miniSectors = m_miniStream.size() / m_miniSectorSize;
    const std::size_t limit = std::min(miniSectors, m_miniFat.size());
    std::vector<std::uint32_t> sectors;
    sectors.reserve(length);
    std::vector<bool> seen(limit);
    for (std::uint32_t sector = start; sectors.size() < length; sector = m_miniFat[sector]) {
        if (sector >= limit)
            damaged("a mini sector chain points outside the mini stream");
        if (seen[sector])
            damaged("a mini sector chain loops");
        seen[sector] = true;
        sectors.push_back(sector);
    }
    return sectors;
}

bool CompoundFile::isInMiniStream(std::uint32_t entry) const {
    return entry != 0 && entry < m_entries.size() && entrySize(m_entries[entry]) < m_miniStreamCutoff;
}

std::vector<std::uint8_t> CompoundFile::readStream(std::uint32_t id) const {
    if (id >= m_entries.size())
        damaged("a stream was asked for that the directory does not hold");
    if (id == 0)
        return m_miniStream;
    const DirectoryEntry& entry = m_entries[id];
    if (entry.type != EntryType::Stream)
        damaged("a directory entry read as a stream is not a stream");
    const std::uint64_t size = entrySize(entry);
    if (size == 0)
        return {};
    if (!isInMiniStream(id))
        return readRegular(entry.startSector, size, "a stream");
    if (size > m_miniStream.size())
        damaged("the size of a small stream exceeds the mini stream");
    const std::size_t needed = static_cast<std::size_t>((size + m_miniSectorSize - 1) / m_miniSectorSize);
    const std::vector<std::uint32_t> sectors = miniChain(entry.startSector, needed);
    std::vector<std::uint8_t> out(static_cast<std::size_t>(size));
    std::size_t written = 0;
    for (std::uint32_t sector : sectors) {
        const std::size_t take = std::min<std::size_t>(m_miniSectorSize, out.size() - written);
        std::memcpy(out.data() + written, m_miniStream.data() + std::size_t{sector} * m_miniSectorSize, take);
        written += take;
    }
    return out;
}

std::optional<std::span<const std::uint8_t>> CompoundFile::streamInPlace(std::uint32_t id) const {
    if (id == 0 || id >= m_entries.size() || m_entries[id].type != EntryType::Stream || isInMiniStream(id))
        return std::nullopt;
    const std::uint64_t size = entrySize(m_entries[id]);
    if (size > static_cast<std::uint64_t>(m_sectorCount) * m_sectorSize)
        damaged("the size of a stream exceeds the file");
    const std::size_t needed = static_cast<std::size_t>((size + m_sectorSize - 1) / m_sectorSize);
    const std::vector<std::uint32_t> sectors = chain(m_entries[id].startSector, needed, "a stream");
    if (sectors.size() < needed)
        damaged("the sector chain of a stream is shorter than its size");
    for (std::size_t i = 1; i < sectors.size(); ++i) {
        if (sectors[i] != sectors[0] + i)
            return std::nullopt;
    }
    const std::size_t offset =
        m_headerSectorSize + std::size_t{sectors.empty() ? 0 : sectors[0]} * m_sectorSize;
    if (offset > m_bytes.size() || m_bytes.size() - offset < size)
        return std::nullopt;
    return std::span<const std::uint8_t>(m_bytes.data() + offset, static_cast<std::size_t>(size));
}

std::optional<std::span<const std::uint8_t>> CompoundFile::gatherStreamInPlace(std::uint32_t id) {
    if (const auto inPlace = streamInPlace(id))
        return inPlace;
    if (id == 0 || id >= m_entries.size() || m_entries[id].type != EntryType::Stream || isInMiniStream(id))
        return std::nullopt;
    const std::uint64_t size = entrySize(m_entries[id]);
    const std::size_t needed = static_cast<std::size_t>((size + m_sectorSize - 1) / m_sectorSize);
    const std::vector<std::uint32_t> sectors = chain(m_entries[id].startSector, needed, "a stream");
    if (sectors.size() < needed || sectors.empty())
        return std::nullopt;
    // Each sector moves down to its place after the one before (never up), so none is overwritten
    // before it has moved; what lay between them (other streams, allocation tables) is lost.
    for (std::size_t i = 1; i < sectors.size(); ++i) {
        if (sectors[i] <= sectors[i - 1])
            return std::nullopt;
    }
    std::uint8_t* base =
        m_ownedBytes.empty() ? reinterpret_cast<std::uint8_t*>(m_ownedText.data()) : m_ownedBytes.data();
    const std::size_t start = m_headerSectorSize + std::size_t{sectors[0]} * m_sectorSize;
    std::size_t written = 0;
    for (std::uint32_t sector : sectors) {
        std::uint32_t available = 0;
        const std::uint8_t* from = sectorData(sector, available);
        const std::size_t take = std::min<std::size_t>(available, static_cast<std::size_t>(size) - written);
        std::memmove(base + start + written, from, take);
        written += take;
    }
    if (written < size)
        damaged("the sectors of a stream run past the end of the file");
    return std::span<const std::uint8_t>(base + start, static_cast<std::size_t>(size));
}

std::vector<std::uint32_t> CompoundFile::children(std::uint32_t storage) const {
    std::vector<std::uint32_t> out;
    // Only storages reached from the root had their trees checked when the file was opened.
    if (storage >= m_entries.size() || (storage != 0 && m_entries[storage].parent == DirectoryEntry::None) ||
        (m_entries[storage].type != EntryType::Storage && m_entries[storage].type != EntryType::Root))
        return out;
    // In-order walk; the tree was checked for loops and bad links when the file was opened.
    std::vector<std::uint32_t> stack;
    std::uint32_t node = m_entries[storage].child;
    while (node != DirectoryEntry::None || !stack.empty()) {
        while (node != DirectoryEntry::None) {
            stack.push_back(node);
            node = m_entries[node].left;
        }
        node = stack.back();
        stack.pop_back();
        out.push_back(node);
        node = m_entries[node].right;
    }
    return out;
}

std::optional<std::uint32_t> CompoundFile::findChild(std::uint32_t storage, std::string_view utf8Name) const {
    // Writers do not all keep the tree sorted, so every child is compared rather than searched.
    const std::u16string wanted = utf16FromUtf8(utf8Name);
    for (std::uint32_t id : children(storage)) {
        if (sameName(m_entries[id].name, wanted))
            return id;
    }
    return std::nullopt;
}

std::optional<std::uint32_t> CompoundFile::findStream(std::string_view utf8Name) const {
    const std::optional<std::uint32_t> id = findChild(0, utf8Name);
    if (id && m_entries[*id].type == EntryType::Stream)
        return id;
    return std::nullopt;
}

} // namespace veltrum::workbook
