# The options of Node.js (V8) each gateway's launcher gives it; the README says why. A gateway
# not named here gets none.
# The OPC UA gateway: a young generation of at most 8 MB a half, an old generation collected
# once it is 1.25 times what survived the last full collection, and the collector's work done
# on the gateway's own thread, so that ten thousand changes a second neither keep the heap at
# several times its live size nor take a second core.
set(GATEWAY_NODE_FLAGS_opcua "--max-semi-space-size=8 --heap-growing-percent=25 --single-threaded-gc")
