#include "runstate.h"

RunState &Run()
{
    static RunState state;
    return state;
}
