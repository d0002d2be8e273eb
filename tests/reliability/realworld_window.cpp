#include "tests/reliability/realworld.h"

namespace cardomine::testing {

QList<RealWorldCase> windowSituations()
{
    return {};
}

} // namespace cardomine::testing
