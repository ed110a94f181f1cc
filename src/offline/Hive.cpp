#include "offline/Hive.h"

#include <hivex.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "platform/Text.h"

namespace offline {
namespace {

std::string Describe(const std::filesystem::path& file, const char* what, int error) {
    std::string text = file.string() + ": " + what;
    if (error) text += std::string(" (") + std::strerror(error) + ")";
    return text;
}

struct FreeC {
    void operator()(void* p) const { std::free(p); }
};

std::u16string TakeUtf8(char* owned) {
    std::unique_ptr<char, FreeC> hold(owned);
    return owned ? text::FromUtf8(owned) : std::u16string();
}

std::uint32_t Le32(const unsigned char* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}

std::vector<unsigned char> Head(const std::filesystem::path& file, std::size_t bytes) {
    std::ifstream in(file, std::ios::binary);
    std::vector<unsigned char> head(bytes);
    if (!in) return {};
    in.read(reinterpret_cast<char*>(head.data()), static_cast<std::streamsize>(bytes));
    head.resize(static_cast<std::size_t>(in.gcount()));
    return head;
}

// The transaction log beside a hive, found without case ("SYSTEM.LOG1").
std::filesystem::path Sibling(const std::filesystem::path& file, const std::string& suffix) {
    std::error_code ec;
    std::string want = text::ToUtf8(text::UpCase(text::FromUtf8(file.filename().string() + suffix)));
    for (const auto& entry : std::filesystem::directory_iterator(file.parent_path(), ec))
        if (text::ToUtf8(text::UpCase(text::FromUtf8(entry.path().filename().string()))) == want) return entry.path();
    return {};
}

}  // namespace

void THive::Close::operator()(hive_h* h) const { hivex_close(h); }

THive::THive(const std::filesystem::path& file, Mode mode) : file_(file) {
    errno = 0;
    handle_.reset(hivex_open(file.c_str(), mode == Mode::Write ? HIVEX_OPEN_WRITE : 0));
    if (!handle_) throw THiveError(Describe(file, "not a readable registry hive", errno));
}

THive::~THive() = default;

std::size_t THive::Root() const {
    hive_node_h root = hivex_root(get());
    if (!root) throw THiveError(Describe(file_, "the hive has no root key", errno));
    return root;
}

std::vector<std::size_t> THive::Children(std::size_t node) const {
    errno = 0;
    std::unique_ptr<hive_node_h, FreeC> list(hivex_node_children(get(), node));
    if (!list) throw THiveError(Describe(file_, "a key's list of subkeys is damaged", errno));
    std::vector<std::size_t> out;
    for (hive_node_h* p = list.get(); *p; ++p) out.push_back(*p);
    return out;
}

std::vector<std::size_t> THive::Values(std::size_t node) const {
    errno = 0;
    std::unique_ptr<hive_value_h, FreeC> list(hivex_node_values(get(), node));
    if (!list) throw THiveError(Describe(file_, "a key's list of values is damaged", errno));
    std::vector<std::size_t> out;
    for (hive_value_h* p = list.get(); *p; ++p) out.push_back(*p);
    return out;
}

std::u16string THive::NodeName(std::size_t node) const {
    errno = 0;
    char* name = hivex_node_name(get(), node);
    if (!name) throw THiveError(Describe(file_, "a key's name cannot be read", errno));
    return TakeUtf8(name);
}

std::u16string THive::ValueName(std::size_t value) const {
    errno = 0;
    char* name = hivex_value_key(get(), value);
    if (!name) throw THiveError(Describe(file_, "a value's name cannot be read", errno));
    return TakeUtf8(name);
}

std::uint32_t THive::ValueBytes(std::size_t value, std::string& bytes) const {
    hive_type type{};
    std::size_t length = 0;
    errno = 0;
    std::unique_ptr<char, FreeC> data(hivex_value_value(get(), value, &type, &length));
    if (!data) throw THiveError(Describe(file_, "a value's data cannot be read", errno));
    bytes.assign(data.get(), length);
    return static_cast<std::uint32_t>(type);
}

std::size_t THive::Child(std::size_t node, std::u16string_view name) const {
    for (std::size_t child : Children(node))
        if (text::EqualNoCase(NodeName(child), name)) return child;
    return 0;
}

void THive::CommitTo(const std::filesystem::path& file) {
    errno = 0;
    if (hivex_commit(get(), file.c_str(), 0) != 0)
        throw THiveError(Describe(file, "the changed hive could not be written", errno));
}

THiveState InspectHive(const std::filesystem::path& file) {
    THiveState state;
    auto head = Head(file, 16);
    if (head.size() < 16 || std::memcmp(head.data(), "regf", 4) != 0) return state;
    state.readable = true;
    state.primarySequence = Le32(head.data() + 4);
    state.secondarySequence = Le32(head.data() + 8);
    state.sequencesDiffer = state.primarySequence != state.secondarySequence;
    for (const char* suffix : {".LOG1", ".LOG2", ".LOG"}) {
        auto log = Sibling(file, suffix);
        if (log.empty()) continue;
        auto logHead = Head(log, 0x200 + 16);
        if (logHead.size() < 16 || std::memcmp(logHead.data(), "regf", 4) != 0) continue;
        // New-format logs carry entries ("HvLE") numbered from the hive's
        // next sequence on; an entry numbered at or past the hive's own
        // secondary number is data the hive never received.
        if (logHead.size() >= 0x200 + 16 && std::memcmp(logHead.data() + 0x200, "HvLE", 4) == 0) {
            if (Le32(logHead.data() + 0x200 + 12) >= state.secondarySequence) state.newerLog = log;
        } else if (logHead.size() >= 0x200 + 4 && std::memcmp(logHead.data() + 0x200, "DIRT", 4) == 0 &&
                   Le32(logHead.data() + 4) > state.primarySequence) {
            // Old-format logs: dirty pages of a write newer than the hive.
            state.newerLog = log;
        }
        if (!state.newerLog.empty()) break;
    }
    return state;
}

}  // namespace offline
