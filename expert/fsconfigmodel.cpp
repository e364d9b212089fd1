#include "fsconfigmodel.h"
