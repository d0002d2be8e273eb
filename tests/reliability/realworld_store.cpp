#include "tests/reliability/realworld.h"

namespace cardomine::testing {

QList<RealWorldCase> storeSituations()
{
    return {};
}

} // namespace cardomine::testing
