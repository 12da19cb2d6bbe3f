#include "app/CZD573_UtilityApp.h"

int main(int argc, char** argv) { return zd573::CZD573_UtilityApp().Run(argc, argv, zd573::StartDemo); }
