// How the C library's allocator keeps memory in a program that allocates and frees pictures of a
// few megabytes over and over (decoded pictures, their cells, window pictures, montage buffers).
#pragma once

namespace orv {

// Blocks up to 32 MiB come from the allocator's own heaps rather than a fresh mapping each time,
// and up to 128 MiB freed at the top of a heap stays mapped instead of going back to the system
// at once. Each fresh page costs a fault on first touch; without this a second Make Montage of
// the same series pays for most of its pictures' pages again. Larger pictures are mapped and
// given back as before. Call once, at the start of main().
void keepPictureMemory();

} // namespace orv
