// How the C library's allocator keeps memory in a program that allocates and frees pictures of a
// few megabytes over and over (decoded pictures, their cells, window pictures, montage buffers).
#pragma once

#include <functional>

namespace orv {

// Blocks up to 32 MiB come from the allocator's own heaps rather than a fresh mapping each time,
// and up to 128 MiB freed at the top of a heap stays mapped instead of going back to the system
// at once. Each fresh page costs a fault on first touch; without this a second Make Montage of
// the same series pays for most of its pictures' pages again. Larger pictures are mapped and
// given back as before. Call once, at the start of main().
void keepPictureMemory();

// Runs `release`, which frees a large part of the pictures for good (a series' pictures, decoded
// on other threads into heaps of their own), and gives the memory it freed back to the system, so
// that what is allocated next does not add to it. The heaps keep what they kept before otherwise.
void releasePictureMemory(const std::function<void()>& release);

} // namespace orv
