#include "processorfeatures.h"

namespace kovra {

bool ProcessorHasAvx2AndFma() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
}

} // namespace kovra
