// A minimal PNG encoder for screenshots: 8-bit RGB, no interlace, one zlib stream.
#pragma once
#include <cstdint>
#include <filesystem>
#include <vector>

// rgb: width * height pixels, rows top-down, three bytes a pixel.
bool WritePng(const std::filesystem::path& file, int width, int height, const std::vector<uint8_t>& rgb);
