#include "tables/refresher.hpp"
