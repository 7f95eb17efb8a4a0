#include "state/host_info.hpp"
