#pragma once
// File access for the program's data files. Paths are UTF-16 throughout: a GBK trail byte
// can be 0x5C, so a path held as GBK bytes could be split at a false backslash.
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lv {

// The running executable's full path (as the Run key holds it), and its directory with
// the trailing backslash.
std::wstring ExecutablePath();
std::wstring ExecutableDirectory();

// True when both paths name the same file as Windows resolves them: case-insensitive, and
// "." / ".." / 8.3 short names resolved where the file exists.
bool SamePath(const std::wstring& a, const std::wstring& b);

// The directory the program's files live in, with its trailing backslash: the executable's
// directory, unless a test has pointed the program at a folder of its own.
std::wstring AppDirectory();
// Tests only: an empty text returns to the executable's directory.
void SetAppDirectory(std::wstring directory);

// A file read with a size limit, and why it could not be read when it could not: a file
// that is not there is an ordinary first run, one that exists but cannot be read (locked by
// another program, no rights, a read error) is something the user must be told about and
// must never be replaced as if it were absent.
enum class ReadStatus { Ok, Missing, Unreadable, TooLarge };
struct FileRead {
    ReadStatus status = ReadStatus::Missing;
    // Ok: the whole file. TooLarge: its first maxBytes bytes. Otherwise empty.
    std::string bytes;
    // Unreadable: the system's error code.
    unsigned long error = 0;
};
FileRead ReadFileBounded(const std::wstring& path, size_t maxBytes);
// The same, and a file that another program holds open without sharing is read again for
// up to about 2 s before it counts as unreadable.
FileRead ReadFileBoundedWhenFree(const std::wstring& path, size_t maxBytes);

// The whole file, or nullopt when it cannot be opened or read, or is longer than maxBytes
// (a settings file of megabytes is not one of ours).
std::optional<std::string> ReadWholeFile(const std::wstring& path,
                                         size_t maxBytes = static_cast<size_t>(-1));

// A copy of a file kept beside it before the file is replaced.
enum class CopyStatus { Made, NoSource, Failed };
struct KeptCopy {
    CopyStatus status = CopyStatus::Failed;
    std::wstring path; // Made: where the copy is
};
// Copies the file byte for byte to path + ".bak", or to the first of path + ".bak1",
// ".bak2" ... ".bak999" that does not exist yet: an older copy is never overwritten. The copy
// is on disk (flushed) when this returns Made. NoSource: there is no such file to keep.
KeptCopy KeepCopyBeside(const std::wstring& path);

// Replaces the file with `bytes` so that a crash or a full disk leaves either the old
// content or the new one: a temporary file beside it (path + ".tmp") is written, flushed
// and moved over the target. False when any step fails; the target is then untouched.
// A step that meets the file held by another program (a scanner, the indexer, a backup
// tool) is tried again for up to about 2 s before it counts as failed; a later replace of
// the same file begun during that wait (from a handler the wait let run) wins, and this
// one then answers with its result.
bool WriteFileAtomic(const std::wstring& path, std::string_view bytes);
// The same with the content in pieces, written one after the other.
bool WriteFileAtomic(const std::wstring& path, const std::vector<std::string_view>& pieces);
// Appends `bytes` at the end of the file (made when missing) and flushes them to the disk;
// a file held by another program is waited for as above, sleeping, on the main thread only
// for a quarter of a second (it cannot run other handlers from where it appends).
bool AppendFileFlushed(const std::wstring& path, std::string_view bytes);
// True when the file is gone afterwards (or was never there).
bool DeleteFileIfPresent(const std::wstring& path);

// True when a file can be made in the directory (with its trailing backslash) and removed
// again: whether the program's own files can be kept there.
bool CanCreateFileIn(const std::wstring& directory);

// How the thread that calls this waits between attempts at a held file: by default every
// thread sleeps; the program's main thread, once its windows run, keeps them alive meanwhile
// (a freeze of 2 s is not acceptable there). An empty function returns to sleeping. A wait
// begun while this one is running (a handler it ran writes a file too) sleeps instead.
void SetMainThreadFileWait(std::function<void(unsigned milliseconds)> wait);

} // namespace lv
