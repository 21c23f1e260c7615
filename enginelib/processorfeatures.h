// What the processor the library runs on offers, asked once when the library loads.
#ifndef KOVRA_PROCESSORFEATURES_H
#define KOVRA_PROCESSORFEATURES_H

namespace kovra {

// AVX2 and FMA both (libgcc checks that the system saves the wide registers before it says so).
bool ProcessorHasAvx2AndFma();

} // namespace kovra

#endif
