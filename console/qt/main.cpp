#include "deve_app.h"

int main(int argc, char **argv) {
    CDeveApp app(argc, argv);
    return app.InitInstance();
}
