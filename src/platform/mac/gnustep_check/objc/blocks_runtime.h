// GNUstep's headers include this header of the libobjc2 runtime when the compiler has blocks;
// Debian builds GNUstep on GCC's runtime, which has none. The syntax check of the .mm files
// needs only its declarations.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif
void* _Block_copy(const void* block);
void _Block_release(const void* block);
#ifdef __cplusplus
}
#endif

#define Block_copy(block) ((__typeof(block))_Block_copy((const void*)(block)))
#define Block_release(block) _Block_release((const void*)(block))
