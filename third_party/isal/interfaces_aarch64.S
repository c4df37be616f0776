// The entry points of the two dispatched functions the inflater uses; each
// calls its dispatcher (dispatch_aarch64.c) on its first call. ISA-L's own
// files declare every function of the library, and would bring them all in.
#include "aarch64_multibinary.h"

mbin_interface decode_huffman_code_block_stateless
mbin_interface crc32_gzip_refl
