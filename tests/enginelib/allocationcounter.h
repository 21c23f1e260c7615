// Counts every operator new in the test program (the replaceable global forms), so a test can
// prove that a call allocates nothing.
#ifndef KOVRA_ALLOCATIONCOUNTER_H
#define KOVRA_ALLOCATIONCOUNTER_H

namespace kovra_test {

long AllocationCount();

} // namespace kovra_test

#endif
