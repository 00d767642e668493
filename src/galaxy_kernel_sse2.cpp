// The fast gravity kernel built for SSE2; the build gives this file its instruction set.
#define KERNEL_PAIRS KernelPairsSse2
#define KERNEL_FLOOR KernelFloorSse2
#include "galaxy_kernel_body.h"
