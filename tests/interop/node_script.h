// Runs one of this folder's Node.js scripts with the pinned npm packages
// (installed into the build folder by the interop.npm_ci fixture).
#pragma once

#include "tests/device/device_test_util.h"

#include <string>

inline device_test::run_result run_node_script(const std::string& script, const std::string& args,
                                               const device_test::temp_dir& scratch) {
    return device_test::run_command(std::string("NODE_PATH=") + VEZOVAD_NODE_MODULES + " " + VEZOVAD_NODE + " " +
                                        VEZOVAD_SOURCE_DIR + "/tests/interop/" + script + " " + args,
                                    scratch);
}
