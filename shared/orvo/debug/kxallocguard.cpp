#include "orvo/debug/kxallocguard.h"

kxAllocGuard::kxAllocGuard() : itsPreviousHandler(std::set_new_handler(&kxAllocGuard::failAllocation)) {}

kxAllocGuard::~kxAllocGuard() { std::set_new_handler(itsPreviousHandler); }

void kxAllocGuard::failAllocation() { throw std::bad_alloc(); }
