#include "tests/reliability/realworld.h"

namespace cardomine::testing {

QList<RealWorldCase> platformSituations()
{
    return {};
}

} // namespace cardomine::testing
