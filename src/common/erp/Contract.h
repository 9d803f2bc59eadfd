#pragma once

// The whole contract with the ERP, for walking it: every class the
// program calls with what it calls there, and the M routines it runs.

#include "common/erp/Downloads.h"
#include "common/erp/ErpData.h"
#include "common/erp/ErpName.h"
#include "common/erp/Personnel.h"
#include "common/erp/Positions.h"
#include "common/erp/Windows.h"

namespace erp {

std::span<const ClassContract> ProgramClasses();
std::span<const Routine> ProgramRoutines();

} // namespace erp
