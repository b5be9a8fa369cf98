#include "app/go_mfc.h"

int main(int argc, char** argv) {
    quillmap::go_mfc application(argc, argv);
    return application.init_instance();
}
