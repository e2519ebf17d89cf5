// Test hooks of the math library: re-run the first-use binding and reach
// every built implementation directly. Only tests include this header.
#pragma once

#include "math/dispatch.h"
#include "math/processor.h"

namespace qv::math {

// Back to the state at program load: every entry holds its stub, the variant
// set is Uninitialised and the allocator check has not run. The next math
// call binds the table again under whatever the platform's test hooks
// report for the registry and the processor.
void ResetMathDispatch();

// The implementation sets that are built.
enum class ImplementationSet { Reference, X87, Sse, Sse2 };

// What one filling step writes, on a table of nulls: the reference set has
// all 73 entries; the others only those that their step writes (the SSE2
// step's includes the SSE code it shares). Empty on hosts without the set.
MathFunctions FunctionsWrittenBy(ImplementationSet set);

// The whole table that a path of the initialisation yields: for X87 the
// reference table with the x87 set over it (the None and Amd paths), for Sse
// and Sse2 that and then their step; for Reference the reference table alone.
MathFunctions TableAfter(ImplementationSet set);

// A copy of the live table's entries.
MathFunctions LiveTable();

}  // namespace qv::math
