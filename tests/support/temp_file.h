// Image files for tests: reproducible contents, and reading a file back whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// size bytes that depend only on seed.
std::vector<std::uint8_t> PseudoRandomBytes(std::size_t size, unsigned seed);

// Writes PseudoRandomBytes(size, seed) to path, replacing the file. Throws std::runtime_error.
void WriteImageFile(const std::string& path, std::size_t size, unsigned seed);

// The whole contents of the file at path. Throws std::runtime_error when it cannot be read.
std::vector<std::uint8_t> ReadWholeFile(const std::string& path);
