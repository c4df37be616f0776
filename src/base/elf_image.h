// What an ELF file's headers say about it: the machine it runs on and where
// the image that the headers describe ends. Both the launcher (which reads
// its own file, whose payload stands behind that image) and mksetup (which
// must not pair a launcher and a runtime of different machines) ask this.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

/// The headers of one ELF file.
struct ElfImage {
  bool is64 = false;       // ELFCLASS64
  bool bigEndian = false;  // ELFDATA2MSB
  uint16_t machine = 0;    // e_machine
  uint64_t imageEnd = 0;   // the first byte behind everything the headers account for
};

/// Reads length bytes at offset of the file open at fd into buffer; false
/// when the file ends before them or a read fails.
bool ElfReadAt(int fd, void* buffer, size_t length, uint64_t offset);

/// An unsigned field of width bytes (1 to 8) at p, in the image's byte order.
uint64_t ElfGet(const ElfImage& image, const unsigned char* p, size_t width);

/// Stores value as a field of width bytes at p, in the image's byte order.
void ElfPut(const ElfImage& image, unsigned char* p, size_t width, uint64_t value);

/// Reads the ELF header, program headers and section headers of the file
/// open at fd, whatever its class and byte order. None when the file is no
/// ELF file or its headers point outside the file or past any sane size.
std::optional<ElfImage> ReadElfImage(int fd);

/// The name of the image's machine as a Java 8 runtime names its directory
/// under "lib" ("amd64", "aarch64", "i386", …); null for a machine no Java
/// runtime is known to name.
const char* ElfArchName(const ElfImage& image);
