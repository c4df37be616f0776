# ISA-L's inflater and CRC-32, compiled from Debian's source package (which
# scripts/install-deps.sh unpacks into a cache) into the static library
# bramlet_isal, so that the launchers need no new library on the user's
# host. Only inflation and the CRC are built: the library's own build and
# dispatchers would bring its compressor and every other CRC into each
# installer. Where it can't be built the target is missing and the archive
# reader inflates with zlib.
#
# BRAMLET_ISAL: AUTO uses ISA-L where it can, ON insists on it, OFF uses zlib.
set(BRAMLET_ISAL AUTO CACHE STRING "Inflate with ISA-L (AUTO, ON or OFF)")
set_property(CACHE BRAMLET_ISAL PROPERTY STRINGS AUTO ON OFF)
if(NOT "$ENV{XDG_CACHE_HOME}" STREQUAL "")
  set(isal_cache "$ENV{XDG_CACHE_HOME}")
else()
  set(isal_cache "$ENV{HOME}/.cache")
endif()
set(BRAMLET_ISAL_SOURCE "${isal_cache}/bramlet/isal" CACHE PATH "ISA-L's unpacked source (apt-get source libisal)")

set(isal_missing "")
string(TOLOWER "${CMAKE_SYSTEM_PROCESSOR}" isal_processor)
if(BRAMLET_ISAL STREQUAL "OFF")
  set(isal_missing "BRAMLET_ISAL is OFF")
elseif(NOT EXISTS "${BRAMLET_ISAL_SOURCE}/igzip/igzip_inflate.c")
  set(isal_missing "no source in ${BRAMLET_ISAL_SOURCE}; scripts/install-deps.sh fetches it")
elseif(isal_processor MATCHES "^(x86_64|amd64)$")
  find_program(BRAMLET_NASM nasm)
  if(NOT BRAMLET_NASM)
    set(isal_missing "nasm is not installed")
  endif()
elseif(NOT isal_processor MATCHES "^(aarch64|arm64)$")
  set(isal_missing "it has no assembly for ${CMAKE_SYSTEM_PROCESSOR}")
endif()
if(NOT isal_missing STREQUAL "")
  if(BRAMLET_ISAL STREQUAL "ON")
    message(FATAL_ERROR "ISA-L can't be built: ${isal_missing}")
  endif()
  message(STATUS "Inflating with zlib: ISA-L can't be built (${isal_missing})")
  return()
endif()

set(isal ${BRAMLET_ISAL_SOURCE})
set(glue ${CMAKE_CURRENT_LIST_DIR})
# The static Huffman code's tables are built when first needed instead of
# being carried precomputed (42 KB).
set(isal_sources ${isal}/igzip/igzip_inflate.c ${isal}/igzip/hufftables_c.c ${isal}/crc/crc_base.c ${glue}/unwrapped.c)
if(isal_processor MATCHES "^(x86_64|amd64)$")
  set(CMAKE_ASM_NASM_COMPILER ${BRAMLET_NASM})
  enable_language(ASM_NASM)
  # As ISA-L's make file does: an assembler that knows AVX-512 gets its
  # AVX-512 code too.
  file(WRITE ${CMAKE_BINARY_DIR}/isal_avx512.asm "vpcompressb zmm0 {k1}, zmm1;\n")
  execute_process(COMMAND ${BRAMLET_NASM} -f elf64 ${CMAKE_BINARY_DIR}/isal_avx512.asm -o /dev/null
    RESULT_VARIABLE isal_no_avx512 OUTPUT_QUIET ERROR_QUIET)
  set(isal_level 4)
  if(isal_no_avx512 EQUAL 0)
    set(isal_level 10)
    list(APPEND isal_sources ${isal}/crc/crc32_gzip_refl_by16_10.asm)
  endif()
  list(APPEND isal_sources
    ${isal}/igzip/rfc1951_lookup.asm
    ${isal}/igzip/igzip_inflate_multibinary.asm
    ${isal}/igzip/igzip_decode_block_stateless_01.asm
    ${isal}/igzip/igzip_decode_block_stateless_04.asm
    ${isal}/crc/crc32_gzip_refl_by8.asm
    ${isal}/crc/crc32_gzip_refl_by8_02.asm
    ${glue}/crc32_gzip_refl_x86_64.asm)
  set(isal_flags "$<$<COMPILE_LANGUAGE:ASM_NASM>:-DAS_FEATURE_LEVEL=${isal_level}>")
  set(isal_processor x86_64)
else()
  enable_language(ASM)
  list(APPEND isal_sources
    ${isal}/igzip/aarch64/igzip_decode_huffman_code_block_aarch64.S
    ${isal}/crc/aarch64/crc32_gzip_refl_pmull.S
    ${isal}/crc/aarch64/crc32_gzip_refl_3crc_fold.S
    ${glue}/interfaces_aarch64.S
    ${glue}/dispatch_aarch64.c)
  set(isal_flags "$<$<COMPILE_LANGUAGE:ASM>:-D__ASSEMBLY__>")
  set(isal_processor aarch64)
endif()

add_library(bramlet_isal STATIC ${isal_sources})
# ISA-L's code is compiled as its own build does: without the project's
# warnings and sanitizers (its assembly can't have them either).
set_target_properties(bramlet_isal PROPERTIES COMPILE_OPTIONS "${isal_flags}")
# Its C files also hold the wrappers' parsers, the one-shot inflater and
# other CRCs' tables: each function and table in a section of its own lets
# the programs' links drop what nothing calls. They are compiled for size:
# the hot loops are the assembly's, and the C code (headers, tables) inflated
# 20,000 small files no more than 4% slower, 7 KB smaller in every installer.
target_compile_options(bramlet_isal PRIVATE $<$<COMPILE_LANGUAGE:C>:-Os -ffunction-sections -fdata-sections>)
target_link_options(bramlet_isal INTERFACE LINKER:--gc-sections)
target_compile_definitions(bramlet_isal PRIVATE NDEBUG NO_STATIC_INFLATE_H)
target_include_directories(bramlet_isal PRIVATE ${isal}/igzip ${isal}/crc ${isal}/igzip/aarch64 ${isal}/crc/aarch64
  PUBLIC ${isal}/include)
message(STATUS "Inflating with ISA-L, built from ${BRAMLET_ISAL_SOURCE} for ${isal_processor}")
