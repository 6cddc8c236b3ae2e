// larkpublish: publishes a game build into a patch repository (PublishCommand.h, Publisher.h).
#include <iostream>

#include "PublishCommand.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    return larkpublish::RunLarkPublish(args, std::cout, std::cerr);
}
