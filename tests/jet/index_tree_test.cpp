#include "jet/index_tree.h"
