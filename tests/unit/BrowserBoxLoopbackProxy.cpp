// The loopback HTTP proxy of the end-to-end tests (tests/e2e/Proxy.h), compiled into
// the in-process tests as well: the real-component tests of the browser box point
// the component's networking at it. A translation unit of its own, because Winsock
// must be included before any other Windows header.
#include "../e2e/Proxy.cpp"
