// SPDX-License-Identifier: MIT
// Shared by the fuzz targets: the input bytes as a file on disk.
#pragma once

#include <cstddef>
#include <cstdint>

// Path of this process's scratch file ending in `suffix`, in the build tree;
// every such file is removed when the process exits.
const char* ScratchFile(const char* suffix);

// Writes the bytes to this process's scratch file and returns its path.
const char* InputAsFile(const uint8_t* data, size_t size);
