// How much memory the process may still take, and the check a picture's size must pass before any
// of its pixels are allocated: a picture too large for the memory left is error 7 "Out of memory"
// at once, not an abort halfway through decoding it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace orv {

// The bytes the process can still allocate: the smallest of the memory the system has available
// (MemAvailable + SwapFree), what is left under the address-space and data-size limits, and what
// is left under the control group's memory limit. A ceiling set with setMemoryCeiling counts too.
std::uint64_t availableMemory();

// A cap on availableMemory() (0 removes it): fuzzing and tests keep pictures small with it.
void setMemoryCeiling(std::uint64_t bytes);

// What holding one decoded picture of w x h costs a series: its rounded 24-bit cells, the
// decoder's own buffers (`decoderBytes`) while it runs, and room for the montage of that size
// (its pixel array and the blank picture it is made on) while it is still to come.
enum class MontageRoom { StillToCome, Made };
std::uint64_t pictureMemoryNeed(int w, int h, std::uint64_t decoderBytes, MontageRoom room = MontageRoom::StillToCome);

// What reading a series at full depth beside its 8-bit cells and saving its montage at 16 bits
// costs, counted before any of it is read: every picture's rounded 24-bit cells at the first
// picture's size, as the stack holds them, and a picture of another size once more at its own
// size, as it is decoded before the stack is filled; room for the
// montage of the first picture's size (its pixel array, the blank picture it is made on, the
// record that keeps it, and the montage at 16 bits); and beside those the larger of the samples
// at 16 bits (w x h x channels x 2 bytes) of the largest picture, the one read at a time, and the
// saved montage's file encoded in memory (encodedPictureBytes), three times over when the first
// picture's metadata is written into it (the file as encoded, the metadata library's copy and the
// file it writes). `pictures` holds each picture's width, height and channels; sides of at most
// 32764 (the stack's largest) keep the sum within 64 bits.
struct DeepPictureSize {
    int width = 0;
    int height = 0;
    int channels = 3;
};
enum class SavedMetadata { None, WrittenIn };
std::uint64_t deepSeriesMemoryNeed(const std::vector<DeepPictureSize>& pictures,
                                   SavedMetadata metadata = SavedMetadata::None);

// The memory left under the control groups the process is in: from its own memory group up to the
// root of the hierarchy as mounted, the smallest limit less the usage (without the page cache the
// kernel gives back before it runs out), for the unified hierarchy and for the memory controller's own. A batch
// job's or a desktop session's scope limits its group or one above it, not the hierarchy's root.
// Read from /proc/self/cgroup, /proc/self/mountinfo and the groups' files, each path with `root`
// in front (empty: the system's own files; tests give a folder of their own).
struct ControlGroupFiles {
    std::string root;
};
std::uint64_t controlGroupLeft(const ControlGroupFiles& files);

// Raises RuntimeError 7 when `bytes` is more than availableMemory().
void requireMemory(std::uint64_t bytes);

} // namespace orv
