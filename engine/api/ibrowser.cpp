#include "ibrowser.h"
