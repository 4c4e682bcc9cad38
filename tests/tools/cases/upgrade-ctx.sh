$t upgrade-ctx /postLoadStore/x; $t upgrade-ctx /postLoadStore
