// Shared by the fuzz targets: the input bytes as a file on disk.
#pragma once

#include <cstddef>
#include <cstdint>

// Writes the bytes to this process's scratch file and returns its path.
const char* InputAsFile(const uint8_t* data, size_t size);
