// Reader::CheckStructure(): consistency a reader does not need but a careful
// writer keeps, reported as a list of findings, each classed by what the
// common readers (olefile, 7-Zip, gsf, the system's library) were seen to make
// of it: a fault, a file some reader refuses, or a writer's choice.

#include <algorithm>
#include <new>

#include "platform/compound_file/format.h"
#include "platform/compound_file/names.h"
#include "platform/compound_file/reader.h"
#include "platform/compound_file/reader_state.h"

namespace cfb {

namespace {

constexpr std::size_t kMaxFindings = 50;
constexpr char k7Zip[] = "7-Zip";

// Keeps the first findings of each kind, and counts the rest.
class Findings {
public:
    explicit Findings(std::vector<Finding>& out) : out_(out) {}
    void Fault(const std::string& text) { Add(Finding::Kind::Fault, text, ""); }
    void Refused(const char* reader, const std::string& text) { Add(Finding::Kind::RefusedByReader, text, reader); }
    void Choice(const std::string& text) { Add(Finding::Kind::WritersChoice, text, ""); }
    ~Findings() {
        for (const auto kind : {Finding::Kind::Fault, Finding::Kind::RefusedByReader, Finding::Kind::WritersChoice}) {
            const std::size_t count = count_[static_cast<int>(kind)];
            if (count > kMaxFindings) {
                out_.push_back({kind, "... and " + std::to_string(count - kMaxFindings) + " more", last_[static_cast<int>(kind)]});
            }
        }
    }

private:
    void Add(Finding::Kind kind, const std::string& text, const char* reader) {
        last_[static_cast<int>(kind)] = reader;
        if (++count_[static_cast<int>(kind)] <= kMaxFindings) out_.push_back({kind, text, reader});
    }

    std::vector<Finding>& out_;
    std::size_t count_[3] = {};
    const char* last_[3] = {"", "", ""};
};

// A first-sector field of a table the file does not have: ENDOFCHAIN is
// right, FREESECT a habit `freeRefusedBy` refuses (when set), anything else
// points into the file.
void CheckAbsentStart(std::uint32_t value, const char* table, const char* freeRefusedBy, Findings& findings) {
    const std::string what = std::string("header: first ") + table + " sector is ";
    const std::string free = what + "FREESECT, not ENDOFCHAIN, although there is no " + table;
    if (value == kFreeSector && freeRefusedBy != nullptr) {
        findings.Refused(freeRefusedBy, free);
    } else if (value == kFreeSector) {
        findings.Choice(free);
    } else if (value != kEndOfChain) {
        findings.Fault(what + "sector " + std::to_string(value) + " although there is no " + table);
    }
}

void CheckHeader(const Reader::State& s, Findings& findings) {
    const std::uint16_t minor = GetU16(s.header + header::kMinorVersion);
    if (minor != kMinorVersion) {
        static const char digits[] = "0123456789ABCDEF";
        std::string hex = "0x";
        for (int shift = 12; shift >= 0; shift -= 4) hex += digits[(minor >> shift) & 0xF];
        findings.Refused(k7Zip, "header: minor version is " + hex + ", not 0x003E");
    }
    for (std::size_t i = 0; i < 16; ++i) {
        if (s.header[header::kClsid + i] != 0) {
            findings.Refused("olefile at its strict level", "header: CLSID is not zero");
            break;
        }
    }
    if (GetU32(s.header + header::kTransactionSignature) != 0) {
        findings.Choice("header: transaction signature is not zero");
    }
    const std::uint32_t fatCount = GetU32(s.header + header::kFatSectorCount);
    for (std::uint32_t i = fatCount; i < kHeaderDifatSlots; ++i) {
        if (GetU32(s.header + header::kDifat + 4 * i) != kFreeSector) {
            findings.Fault("header: unused DIFAT slot " + std::to_string(i) + " is not FREESECT");
            break;
        }
    }
    if (GetU32(s.header + header::kDifatSectorCount) == 0) {
        CheckAbsentStart(GetU32(s.header + header::kFirstDifatSector), "DIFAT", nullptr, findings);
    }
    if (GetU32(s.header + header::kMiniFatSectorCount) == 0) {
        CheckAbsentStart(GetU32(s.header + header::kFirstMiniFatSector), "mini FAT", "7-Zip and the system's library",
                         findings);
    }
    if (s.usedDifatSlotSector != Reader::State::kNoSlot) {
        findings.Fault("DIFAT sector " + std::to_string(s.usedDifatSlotSector) + ": slot " +
                       std::to_string(s.usedDifatSlot) + ", after the last FAT sector, is not FREESECT");
    }
    const std::uint64_t whole = (s.fileSectors + 1) * s.sectorSize;
    if (s.source->Size() < whole) {
        findings.Choice("the last sector is short: the file ends " + std::to_string(whole - s.source->Size()) +
                        " bytes before its end");
    }
}

void CheckSectors(const Reader::State& s, Findings& findings) {
    for (std::size_t sector = 0; sector < s.fat.size(); ++sector) {
        const std::uint32_t value = s.fat[sector];
        const std::uint8_t use = s.sectorUse[sector];
        const std::string where = "sector " + std::to_string(sector);
        // Space a writer left allocated is lost, not misread, but 7-Zip
        // refuses the file.
        if (use == reading::kUnused && value != kFreeSector) {
            findings.Refused(k7Zip, where + " is allocated in the FAT but no chain uses it");
        } else if (use == reading::kUseFat && value != kFatSector) {
            findings.Fault(where + " holds the FAT but is not marked FATSECT");
        } else if (use == reading::kUseDifat && value != kDifatSector) {
            findings.Fault(where + " holds the DIFAT but is not marked DIFSECT");
        }
    }
    if (s.fat.size() < s.fileSectors) findings.Fault("the FAT does not cover every sector of the file");
    if (s.fatEntriesBeyondFileInUse > 0) findings.Fault("FAT entries past the end of the file are not free");
    for (std::size_t mini = 0; mini < s.miniFat.size(); ++mini) {
        if (s.miniUse[mini] == reading::kUnused && s.miniFat[mini] != kFreeSector) {
            findings.Choice("mini sector " + std::to_string(mini) + " is allocated but no stream uses it");
        }
    }
    if (s.miniFatEntriesBeyondInUse > 0) findings.Fault("mini FAT entries past the mini stream are not free");
}

// One storage's tree: name order, which a lookup by name relies on, then the
// red-black rules (black root, no red node with a red child, the same number
// of black nodes on every path), which only a writer that rebalances the tree
// needs. Iterative, so a degenerate tree cannot exhaust the stack.
void CheckTree(const Reader::State& s, std::uint32_t storage, const std::vector<std::uint32_t>& inOrder,
               Findings& findings) {
    const std::string where = "the tree of directory entry " + std::to_string(storage);
    for (std::size_t i = 1; i < inOrder.size(); ++i) {
        if (CompareNames(s.EntryName(inOrder[i - 1]), s.EntryName(inOrder[i])) >= 0) {
            findings.Fault(where + " is not in name order at entry " + std::to_string(inOrder[i]));
            return;
        }
    }
    const std::uint32_t root = s.raw[storage].child;
    if (root == kNoStream) return;
    if (s.raw[root].color != kColorBlack) findings.Choice(where + ": the root node is not black");

    // Post-order over the tree computes each node's black height.
    std::vector<int> height(s.raw.size(), 0);
    std::vector<std::pair<std::uint32_t, bool>> stack{{root, false}};
    while (!stack.empty()) {
        auto [node, expanded] = stack.back();
        stack.pop_back();
        const reading::RawEntry& r = s.raw[node];
        if (!expanded) {
            stack.push_back({node, true});
            if (r.left != kNoStream) stack.push_back({r.left, false});
            if (r.right != kNoStream) stack.push_back({r.right, false});
            continue;
        }
        if (r.color != kColorBlack && r.color != kColorRed) {
            findings.Refused(k7Zip, "directory entry " + std::to_string(node) + " has colour " + std::to_string(r.color));
        }
        const bool red = r.color == kColorRed;
        for (std::uint32_t child : {r.left, r.right}) {
            if (red && child != kNoStream && s.raw[child].color == kColorRed) {
                findings.Choice(where + ": red entry " + std::to_string(node) + " has a red child");
            }
        }
        const int left = r.left == kNoStream ? 0 : height[r.left];
        const int right = r.right == kNoStream ? 0 : height[r.right];
        if (left != right) {
            findings.Choice(where + ": black heights differ below entry " + std::to_string(node));
        }
        height[node] = std::max(left, right) + (red ? 0 : 1);
    }
}

void CheckEntries(const Reader::State& s, Findings& findings) {
    if (s.EntryName(0) != u"Root Entry") findings.Choice("the root entry is not named \"Root Entry\"");
    if (s.raw[0].size == 0 && s.raw[0].start != kEndOfChain) {
        findings.Refused(k7Zip, "the root entry has no mini stream but its start sector is not ENDOFCHAIN");
    }
    // Readers that take only the root's size of the mini stream cut short or
    // drop the small stream whose bytes run past it.
    if (s.miniDataEnd > s.raw[0].size) {
        findings.Fault("the root entry's size ends the mini stream " + std::to_string(s.miniDataEnd - s.raw[0].size) +
                       " bytes before the end of the small streams' bytes");
    }
    // The root has no siblings: a reader that walks them finds more streams.
    if (s.raw[0].left != kNoStream || s.raw[0].right != kNoStream) {
        findings.Fault("the root entry has sibling links, not NOSTREAM");
    }
    for (std::size_t id = 1; id < s.raw.size(); ++id) {
        const reading::RawEntry& r = s.raw[id];
        const std::uint8_t* e = s.directory.data() + id * kDirectoryEntrySize;
        const std::string where = "directory entry " + std::to_string(id);
        if (!s.reachable[id]) {
            // A reader that lists the directory rather than walking its trees
            // would find a stream or storage here that the others do not.
            if (r.type != kTypeUnused) {
                findings.Fault(where + " has type " + std::to_string(r.type) + " but is not in any tree");
                continue;
            }
            // Links of zero are a common writer's blank; 7-Zip refuses others.
            bool linked = false;
            for (std::uint32_t link : {r.left, r.right, r.child}) linked = linked || (link != kNoStream && link != 0);
            bool blank = r.left == kNoStream && r.right == kNoStream && r.child == kNoStream;
            for (std::size_t i = 0; blank && i < kDirectoryEntrySize; ++i) {
                const bool link = i >= entry::kLeft && i < entry::kClsid;
                if (!link && e[i] != 0) blank = false;
            }
            if (linked) {
                findings.Refused(k7Zip, where + " is unused but links to other entries");
            } else if (!blank) {
                findings.Choice(where + " is unused but not blank");
            }
            continue;
        }
        // olefile fails on such a stream and 7-Zip refuses the file.
        if (r.type == kTypeStream && r.size == 0 && r.start != kEndOfChain) {
            findings.Fault(where + " is an empty stream whose start sector is not ENDOFCHAIN");
        }
        // A stream has no children: a reader that walks them finds more
        // streams, or meets one twice.
        if (r.type == kTypeStream && r.child != kNoStream) {
            findings.Fault(where + " is a stream with a child link, not NOSTREAM");
        }
        // Readers that take the whole 64-bit size would read another stream.
        if (s.major == kMajorVersion3 && GetU32(e + entry::kSize + 4) != 0) {
            findings.Fault(where + " has a non-zero high size word");
        }
    }
}

}  // namespace

std::vector<Finding> Reader::CheckStructure() const {
    std::vector<Finding> out;
    if (!state_) {
        out.push_back({Finding::Kind::Fault, "no file is open", ""});
        return out;
    }
    try {
        Findings findings(out);
        CheckHeader(*state_, findings);
        CheckSectors(*state_, findings);
        CheckEntries(*state_, findings);
        for (std::size_t i = 0; i < state_->storages.size(); ++i) {
            CheckTree(*state_, state_->storages[i], state_->children[i], findings);
        }
    } catch (const std::bad_alloc&) {
        try {
            out.assign(1, Finding{Finding::Kind::Fault, "out of memory", ""});
        } catch (const std::bad_alloc&) {
            // Keep what was found; it is not empty if anything was.
        }
    }
    return out;
}

}  // namespace cfb
