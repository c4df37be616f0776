// Chooses ISA-L's implementations of the dispatched functions the inflater
// uses, by what the processor has, as ISA-L's own dispatchers do.
#include "aarch64_multibinary.h"

DEFINE_INTERFACE_DISPATCHER(decode_huffman_code_block_stateless) {
  if (getauxval(AT_HWCAP) & HWCAP_CRC32) return PROVIDER_INFO(decode_huffman_code_block_stateless_aarch64);
  return PROVIDER_BASIC(decode_huffman_code_block_stateless);
}

DEFINE_INTERFACE_DISPATCHER(crc32_gzip_refl) {
  unsigned long hwcap = getauxval(AT_HWCAP);
  if ((hwcap & (HWCAP_CRC32 | HWCAP_PMULL)) == (HWCAP_CRC32 | HWCAP_PMULL))
    return PROVIDER_INFO(crc32_gzip_refl_3crc_fold);
  if (hwcap & HWCAP_PMULL) return PROVIDER_INFO(crc32_gzip_refl_pmull);
  return PROVIDER_BASIC(crc32_gzip_refl);
}
