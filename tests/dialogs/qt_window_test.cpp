// The Qt backend's own behaviour: what the scenarios shared with the other
// backends do not show.
#include <gtest/gtest.h>
