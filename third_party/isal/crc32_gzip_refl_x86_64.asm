; crc32_gzip_refl, choosing ISA-L's fastest implementation for the processor
; on its first call. ISA-L's own dispatcher serves every CRC it has, and
; would bring them all into the launcher.
default rel
[bits 64]

%include "reg_sizes.asm"

extern crc32_gzip_refl_base
extern crc32_gzip_refl_by8
extern crc32_gzip_refl_by8_02
%if (AS_FEATURE_LEVEL) >= 10
extern crc32_gzip_refl_by16_10
%endif

%include "multibinary.asm"

section .text

mbin_interface crc32_gzip_refl
mbin_dispatch_init_clmul crc32_gzip_refl, crc32_gzip_refl_base, crc32_gzip_refl_by8, crc32_gzip_refl_by8_02, crc32_gzip_refl_by16_10
