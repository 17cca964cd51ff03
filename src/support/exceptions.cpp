#include "support/exceptions.h"
