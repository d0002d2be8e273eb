#include "tests/reliability/realworld.h"

namespace cardomine::testing {

QList<RealWorldCase> sealSituations()
{
    return {};
}

} // namespace cardomine::testing
