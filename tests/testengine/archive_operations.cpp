// The archive operations: a stack of open levels over the scripted archives.
#include <windows.h>

#include <cstring>

#include "operations.h"

namespace te {

int32_t OpenArchive(State& s, char*, int) {
    auto it = s.script.archives.find(s.walk.pending);
    const int32_t answer =
        s.script.random ? RandomAnswer(s.script) : (it == s.script.archives.end() ? 0 : it->second.open);
    if (answer == 0) s.walk.levels.push_back(Level{s.walk.pending});
    s.walk.pending.clear();
    return answer;
}

int32_t GetNextFileHeader(State& s, char* buffer, int index) {
    if (s.script.random) {
        FillRandom(s.script, buffer, orlix::kArchiveHeaderSize);
        return RandomAnswer(s.script);
    }
    if (s.walk.levels.empty()) return -1;
    Level& level = s.walk.levels.back();
    Archive& archive = s.script.archives[level.key];
    if (level.next >= archive.members.size() && (archive.flags & TE_ARCHIVE_ENDLESS)) level.next = 0;
    if (level.next >= archive.members.size()) {
        level.current = -1;
        return orlix::ResultNoMoreMembers;
    }
    level.current = static_cast<int>(level.next++);
    const Member& m = archive.members[static_cast<size_t>(level.current)];
    if (m.header == 0) {
        memcpy(buffer + orlix::kMemberNameOffset, m.name.data(), m.name.size());
        if (index >= 0) lstrcpynA(s.journal.records[static_cast<size_t>(index)].text, m.name.c_str(), TE_RECORD_TEXT);
    }
    return m.header;
}

int32_t ExtractNextFile(State& s, char*, int) {
    if (s.script.random) return RandomAnswer(s.script);
    if (s.walk.levels.empty() || s.walk.levels.back().current < 0) return -1;
    const Level& level = s.walk.levels.back();
    const Member& m = s.script.archives[level.key].members[static_cast<size_t>(level.current)];
    s.walk.current = m.key;
    if (m.extract != -1 && (m.extract & orlix::ResultArchive)) s.walk.pending = m.key;
    return m.extract;
}

int32_t CloseArchive(State& s, char*, int) {
    if (!s.walk.levels.empty()) s.walk.levels.pop_back();
    return 0;
}

}  // namespace te
