// SPDX-License-Identifier: GPL-3.0-or-later
// The beacon's status page: polls /api/status twice a second, the next transmissions and the
// log every few seconds, and sends the four commands. Everything it shows comes from the API;
// a beacon that asks for a token gets it from the form (kept in this browser) or from the
// address's #token=... part.
"use strict";

const STATUS_EVERY_MS = 500;
const SLOW_EVERY_MS = 5000;
const LOG_LINES = 30;

const $ = (id) => document.getElementById(id);
const pictures = new Map(); // picture path -> object URL
let token = localStorage.getItem("vesk-token") || "";
let serverOffsetMs = 0; // the beacon's clock less this device's
let lastNextKey = "";
let lastSlow = 0;

function takeTokenFromAddress() {
  const found = location.hash.match(/(?:^#|&)token=([^&]+)/);
  if (found) {
    token = decodeURIComponent(found[1]);
    localStorage.setItem("vesk-token", token);
    history.replaceState(null, "", location.pathname);
  }
}

async function api(path, options = {}) {
  const headers = token ? { Authorization: "Bearer " + token } : {};
  const response = await fetch(path, { ...options, headers, cache: "no-store" });
  if (response.status === 401) {
    $("token-card").hidden = false;
    throw new Error("the beacon asks for its token");
  }
  return response;
}

function utcTime(text) {
  return text ? text.substring(11, 19) + " UTC" : "";
}

function ago(seconds) {
  if (seconds < 90) return Math.round(seconds) + " s";
  if (seconds < 5400) return Math.round(seconds / 60) + " min";
  return (seconds / 3600).toFixed(1) + " h";
}

function fromNow(text) {
  const seconds = (Date.parse(text) - (Date.now() + serverOffsetMs)) / 1000;
  return seconds >= 0 ? "in " + ago(seconds) : ago(-seconds) + " ago";
}

// "1 gap", "2 gaps"
function count(n, one, many) {
  return n + " " + (n === 1 ? one : many);
}

function frequency(hertz) {
  return hertz > 0 ? (hertz / 1e6).toFixed(6).replace(/0+$/, "") + " MHz" : "";
}

function describe(t) {
  return [t.entry, t.pattern, frequency(t.frequencyHz)].filter((s) => s).join(" · ");
}

async function showPicture(img, path) {
  if (img.dataset.path === path) return;
  img.dataset.path = path;
  try {
    if (!pictures.has(path)) {
      const response = await api(path);
      if (!response.ok) throw new Error(response.status);
      pictures.set(path, URL.createObjectURL(await response.blob()));
    }
    if (img.dataset.path === path) {
      img.src = pictures.get(path);
      img.hidden = false;
    }
  } catch (e) {
    img.hidden = true;
    delete img.dataset.path;
  }
}

function showPtt(status) {
  const ptt = $("ptt");
  ptt.textContent = status.ptt;
  ptt.dataset.state = status.keyer.missing ? "missing" : status.keyed ? "on" : "off";
  ptt.title = status.keyer.missing ? status.keyer.reason : "";
}

function showState(status) {
  const state = $("state");
  let words = status.state;
  if (status.waiting) words = "waiting for the " + status.waiting.for;
  if (status.paused) words = "paused by " + status.paused.by;
  state.textContent = words;
  state.dataset.state = status.state;
  $("title").textContent = status.mode === "run" ? "Plan" : "Beacon";
  $("source").textContent = status.source + " · " + status.program;
  document.title = status.ptt + " · " + status.source;
  $("pause").disabled = status.paused || status.state === "stopping";
  $("resume").disabled = !status.paused || status.state === "stopping";
  $("skip").disabled = status.state === "stopping";
  $("stop").disabled = status.state === "stopping";
}

function showOnAir(status) {
  const onAir = status.onAir;
  const sounding = onAir && (status.keyed || status.state === "playing");
  $("now").textContent = sounding ? describe(onAir) : status.paused ? "paused" : "nothing";
  const progress = onAir && onAir.progress;
  const fraction = sounding && progress ? Math.min(1, progress.fraction) : 0;
  $("progress").style.width = (fraction * 100).toFixed(1) + "%";
  const where = !progress ? "" : progress.dot >= 0
    ? "dot " + (progress.dot + 1) + " of the cycle's " + progress.cycleDots
    : "the silent rest of the cycle";
  const keyed = status.keyed && onAir && onAir.keyedAt ? " · keyed " + fromNow(onAir.keyedAt) : "";
  const next = status.next ? "next " + fromNow(status.next.at) + " at " + utcTime(status.next.at) : "";
  $("progress-text").textContent = sounding && progress ? where + keyed : next;
  if (onAir) {
    showPicture($("now-picture"), onAir.picture);
  }
}

function showHealth(status) {
  const clock = status.clock;
  $("clock").textContent = clock.synchronised
    ? "synchronised (±" + clock.estimatedErrorMs.toFixed(1) + " ms)"
    : clock.problem;
  $("clock").className = clock.synchronised ? "" : "bad";
  const last = status.lastTransmission;
  $("last").textContent = last
    ? ago(last.secondsAgo) + " ago: " + describe(last) + ", " + count(last.underruns, "gap", "gaps")
    : "none yet";
  $("counts").textContent =
    count(status.transmissions, "transmission", "transmissions") + ", " +
    count(status.cycles, "cycle", "cycles") + " since " +
    utcTime(status.startedAt);
  $("gaps").textContent = count(status.underruns, "underrun", "underruns");
  $("gaps").className = status.underruns > 0 ? "bad" : "";
  const f = status.faults;
  const faults = [
    [f.soundOutputWaits, "sound output waits"], [f.keyerWaits, "keyer waits"],
    [f.watchdog, "watchdog"], [f.keyingFailures, "keying failures"],
    [f.outputOpenFailures, "output open failures"], [f.transmissionsLost, "lost"],
    [f.logFailures, "log failures"],
  ].filter(([count]) => count > 0).map(([count, name]) => count + " " + name);
  $("faults").textContent = faults.length ? faults.join(", ") : "none";
  $("faults").className = faults.length ? "bad" : "";
  const list = $("problems");
  list.replaceChildren(...status.problems.slice().reverse().map((p) => {
    const item = document.createElement("li");
    item.textContent = utcTime(p.at) + " " + p.kind + ": " + p.message;
    return item;
  }));
}

async function refreshNext() {
  const body = await (await api("/api/next")).json();
  const list = $("next");
  list.replaceChildren(...body.next.map((t) => {
    const item = document.createElement("li");
    item.className = t.skipped ? "skipped" : "";
    const when = document.createElement("div");
    when.className = "when";
    when.textContent = utcTime(t.at) + " (" + fromNow(t.at) + ")" + (t.skipped ? " left out" : "");
    const what = document.createElement("div");
    what.textContent = describe(t);
    const img = document.createElement("img");
    img.alt = "";
    img.hidden = true;
    item.append(when, what, img);
    showPicture(img, t.picture);
    return item;
  }));
  if (!body.next.length) {
    const item = document.createElement("li");
    item.textContent = body.paused ? "paused" : "none planned";
    list.append(item);
  }
}

async function refreshLog() {
  const body = await (await api("/api/log?lines=" + LOG_LINES)).json();
  const log = $("log");
  log.replaceChildren(...body.lines.map((line) => {
    const span = document.createElement("span");
    span.className = line.kind;
    span.textContent = line.text.replaceAll("\t", "  ") + "\n";
    return span;
  }));
  log.scrollTop = log.scrollHeight;
}

async function poll() {
  const started = Date.now();
  try {
    const status = await (await api("/api/status")).json();
    serverOffsetMs = Date.parse(status.now) - Date.now();
    showPtt(status);
    showState(status);
    showOnAir(status);
    showHealth(status);
    const nextKey = JSON.stringify([status.next, status.paused, status.transmissions]);
    if (nextKey !== lastNextKey || Date.now() - lastSlow > SLOW_EVERY_MS) {
      lastNextKey = nextKey;
      lastSlow = Date.now();
      await Promise.all([refreshNext(), refreshLog()]);
    }
    $("footer").textContent = "updated " + new Date().toLocaleTimeString();
  } catch (e) {
    $("state").textContent = "offline";
    $("state").dataset.state = "offline";
    $("footer").textContent = "no answer from the beacon: " + e.message;
  }
  setTimeout(poll, Math.max(0, STATUS_EVERY_MS - (Date.now() - started)));
}

async function command(name) {
  if (name === "stop" && !confirm("Stop the beacon? It will not start again by itself.")) {
    return;
  }
  try {
    const body = await (await api("/api/" + name, { method: "POST" })).json();
    $("command-result").textContent = body.message || body.error || "";
  } catch (e) {
    $("command-result").textContent = e.message;
  }
  lastNextKey = "";
}

function start() {
  takeTokenFromAddress();
  for (const name of ["pause", "resume", "skip", "stop"]) {
    $(name).addEventListener("click", () => command(name));
  }
  $("token-form").addEventListener("submit", (event) => {
    event.preventDefault();
    token = $("token-input").value.trim();
    localStorage.setItem("vesk-token", token);
    $("token-card").hidden = true;
    lastNextKey = "";
  });
  poll();
}

start();
