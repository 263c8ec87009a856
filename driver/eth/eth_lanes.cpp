// Lanes of a connection: made on first use as copies of lane 0's settings, closed together, and
// their opened-socket counts summed.
#include "driver/eth/eth_lanes.h"

#include "driver/eth/eth_connect.h"

EthHttpContext* eth_lane(EthConnection* connection, int index) {
  if (index <= 0) return &connection->http;
  std::lock_guard<std::mutex> guard(connection->lanes_lock);
  auto& lanes = connection->lanes;
  while (static_cast<int>(lanes.size()) < index) {
    auto lane = std::make_unique<EthHttpContext>();
    const EthHttpContext& first = connection->http;
    lane->log_owner = &connection->http;
    // These are set at connect and never change afterwards, so reading them here is safe.
    lane->uri = first.uri;
    lane->api_key = first.api_key;
    lane->cert_path = first.cert_path;
    lane->entropy_file = first.entropy_file;
    lane->accept_unverified = first.accept_unverified;
    lanes.push_back(std::move(lane));
  }
  return lanes[static_cast<size_t>(index) - 1].get();
}

void eth_close_lanes(EthConnection* connection) {
  auto close = [](EthHttpContext* lane) {
    std::lock_guard<std::mutex> guard(lane->exchange_lock);
    eth_close_connection(lane);
  };
  close(&connection->http);
  std::lock_guard<std::mutex> guard(connection->lanes_lock);
  for (auto& lane : connection->lanes) close(lane.get());
}

int eth_connections_opened(EthConnection* connection) {
  int opened = connection->http.connections_opened;
  std::lock_guard<std::mutex> guard(connection->lanes_lock);
  for (auto& lane : connection->lanes) opened += lane->connections_opened;
  return opened;
}
