#include "tkwengine/resume_state.h"

#include "common/file_names.h"
#include "common/text.h"
#include "tkwengine/state_record.h"

namespace {

bool ReadRecord(const char* path, StateRecord& record)
{
    FileHandle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD got = 0;
    return file.Valid() && ReadFile(file.Get(), &record, sizeof record, &got, nullptr) && got == sizeof record;
}

bool HoldsAtLeast(const char* path, uint64_t bytes)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path, GetFileExInfoStandard, &data)) return false;
    return ((static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow) >= bytes;
}

}  // namespace

bool NameSideFiles(const char* localPath, SideFiles& out)
{
    return FormatText(out.part, sizeof out.part, "%s%s", localPath, kPartFileSuffix) &&
           FormatText(out.state, sizeof out.state, "%s%s", localPath, kStateFileSuffix);
}

void RemoveSideFiles(const SideFiles& files)
{
    DeleteFileA(files.state);
    DeleteFileA(files.part);
}

uint64_t ResumeState::MissingBytes() const
{
    uint64_t bytes = 0;
    for (size_t i = 0; i < count; ++i) bytes += missing[i].to - missing[i].from;
    return bytes;
}

uint64_t ResumeState::KeptEnd() const
{
    return count > 0 && missing[count - 1].to == size ? missing[count - 1].from : size;
}

bool LoadState(const SideFiles& files, uint64_t size, ResumeState& out)
{
    StateRecord record = {};
    ResumeState state;
    if (!ReadRecord(files.state, record) || !OpenRecord(record, size, state) ||
        !HoldsAtLeast(files.part, state.KeptEnd()))
        return false;
    out = state;
    return true;
}

bool StateFile::Open(const char* path)
{
    handle_.Reset(CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                              nullptr));
    return handle_.Valid();
}

bool StateFile::Save(const ResumeState& state)
{
    StateRecord record = SealRecord(state);
    OVERLAPPED start = {};
    DWORD written = 0;
    return WriteFile(handle_.Get(), &record, sizeof record, &written, &start) && written == sizeof record;
}
