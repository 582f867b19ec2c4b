#pragma once

// Crash-safe replacement of a whole file: the bytes go to "<name>.tmp" beside the target,
// are synced, and the temporary is renamed over the target; then the folder is synced so
// the rename itself survives a power cut (as does every folder made on the way). At every moment the target holds either its
// old content or the new one, never a mixture, whatever step a crash interrupts.

#include <cstddef>
#include <string>
#include <vector>

namespace platform {

// The steps of write_file_atomically, in the order they run.
enum class WriteStep {
    create,      // open the temporary beside the target (missing folders are made first)
    write,       // every byte into the temporary
    sync,        // fsync of the temporary
    close,       // close of the temporary
    rename,      // the temporary over the target
    sync_folder, // fsync of the target's folder
};

// What the test hook does when the process reaches the armed step.
enum class WriteFault {
    none,
    // The step fails as a system call would (the writer cleans up and reports it).
    fail,
    // The process ends at once with _exit(77), before the step runs: a crash there.
    kill,
};

inline constexpr WriteStep all_write_steps[] = {WriteStep::create, WriteStep::write,  WriteStep::sync,
                                                WriteStep::close,  WriteStep::rename, WriteStep::sync_folder};

const char* write_step_name(WriteStep step);

// Replaces the file at path (resolved ignoring case, as every file name here) with the
// bytes. Missing folders of the path are created with the spelling given. On failure the
// old file is untouched, the temporary is removed, and false comes back with a one-line
// reason in *error (when given) naming the step, the file and the system's message.
bool write_file_atomically(const std::string& path, const void* bytes, size_t size, std::string* error = nullptr);

// Makes the folder and every missing folder on its way (existing ones are found ignoring
// case, new ones get the spelling given), syncing the parent of each one made so that it
// survives a power cut. False, with the reason in *error, when the folder is not there
// afterwards or a parent could not be synced.
bool create_folders_durably(const std::string& folder, std::string* error = nullptr);

// Deletes a file and syncs its folder; true when the file is gone (also when it never
// existed). The same hook applies: the unlink counts as the rename step.
bool delete_file_durably(const std::string& path, std::string* error = nullptr);

// Renames a file to the first free name of "<path><suffix>", "<path><suffix>.1",
// "<path><suffix>.2", ... (never over an existing file) and syncs the folder. Returns
// the new name, or "" on failure with the reason in *error.
std::string set_file_aside(const std::string& path, const std::string& suffix, std::string* error = nullptr);

// Test hook: arms one fault at one step for every later write of this process (a forked
// child inherits it). The count says how many writes pass the step before the fault
// strikes (0: the next one). clear_write_fault disarms it.
void set_write_fault(WriteStep step, WriteFault fault, int skip_count = 0);
void clear_write_fault();

// Test hook: every folder synced from now on is appended to the journal; null stops it.
void record_folder_syncs(std::vector<std::string>* journal);

} // namespace platform
