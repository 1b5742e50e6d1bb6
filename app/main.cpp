// DERadori: the KX58 updater's wizard.
#include "app/update_app.h"

int main(int argc, char** argv) {
  kx::app::CUpdateApp application;
  return application.Run(argc, argv);
}
