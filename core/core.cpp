#include "core.h"

Core::Core()
{
}

Core::Core(const Core &)
{
}

Core::~Core()
{
}

Core &Core::operator=(const Core &)
{
    return *this;
}
