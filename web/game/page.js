// Arrowsong's page: the game module (arrowsong.js, the desktop's C++), its
// frames drawn with WebGL and a 2D canvas for the text, the player's keys,
// buttons and touches, the printed lines, and the audio: an AudioWorklet
// (worklet.js) running the game's audio block (audio.wasm) on the microphone.
'use strict';

(() => {
  const windowBox = document.getElementById('window');
  const sceneCanvas = document.getElementById('scene');
  const textCanvas = document.getElementById('text');
  const messageBox = document.getElementById('message');
  const consoleBox = document.getElementById('console');

  const BLOCK = 512;
  const RATE = 44100;
  const DESKTOP_SIZE = 800;

  // What the tests and a curious player can look at from the console.
  const state = {
    frames: 0,
    frameMs: 0, // time spent on frames, in the game and in drawing
    lines: [],
    audio: 'off', // off, starting, on, failed
    message: '',
    text: '', // the text lines of the last frame, as drawn
    ended: false,
  };
  window.arrowsong = state;

  function print(line, isError) {
    state.lines.push(line);
    consoleBox.textContent += line + '\n';
    consoleBox.scrollTop = consoleBox.scrollHeight;
    if (isError) console.warn(line);
    else console.log(line);
  }

  function setMessage(text) {
    state.message = text;
    messageBox.textContent = text;
  }

  // --- drawing -------------------------------------------------------------

  const gl = sceneCanvas.getContext('webgl2', {
    alpha: false, antialias: false, depth: true, preserveDrawingBuffer: true,
  });
  const text2d = textCanvas.getContext('2d');
  let program = null;
  let vertexBuffer = null;
  let indexBuffer = null;
  let indexType = null; // of the indices in indexBuffer, null before the first
  let shownText = null;

  function compile(type, source) {
    const shader = gl.createShader(type);
    gl.shaderSource(shader, source);
    gl.compileShader(shader);
    if (!gl.getShaderParameter(shader, gl.COMPILE_STATUS)) {
      throw new Error(gl.getShaderInfoLog(shader));
    }
    return shader;
  }

  // The vertices arrive lit and in clip space: the shaders only pass them on.
  function setUpGl() {
    program = gl.createProgram();
    gl.attachShader(program, compile(gl.VERTEX_SHADER, `#version 300 es
      in vec4 position;
      in vec4 colour;
      out vec4 shade;
      void main() { gl_Position = position; shade = colour; }`));
    gl.attachShader(program, compile(gl.FRAGMENT_SHADER, `#version 300 es
      precision highp float;
      in vec4 shade;
      out vec4 pixel;
      void main() { pixel = shade; }`));
    gl.bindAttribLocation(program, 0, 'position');
    gl.bindAttribLocation(program, 1, 'colour');
    gl.linkProgram(program);
    if (!gl.getProgramParameter(program, gl.LINK_STATUS)) {
      throw new Error(gl.getProgramInfoLog(program));
    }
    gl.useProgram(program);
    vertexBuffer = gl.createBuffer();
    indexBuffer = gl.createBuffer();
    gl.bindBuffer(gl.ARRAY_BUFFER, vertexBuffer);
    gl.bindBuffer(gl.ELEMENT_ARRAY_BUFFER, indexBuffer);
    gl.enableVertexAttribArray(0);
    gl.enableVertexAttribArray(1);
    gl.vertexAttribPointer(0, 4, gl.FLOAT, false, 32, 0);
    gl.vertexAttribPointer(1, 4, gl.FLOAT, false, 32, 16);
    gl.depthFunc(gl.LESS);
    gl.blendFunc(gl.SRC_ALPHA, gl.ONE_MINUS_SRC_ALPHA);
  }

  function drawFrame() {
    const g = game;
    const viewport = g.HEAP32.subarray(g._web_viewport() >> 2, (g._web_viewport() >> 2) + 4);
    const clear = g.HEAPF32.subarray(g._web_clear_colour() >> 2, (g._web_clear_colour() >> 2) + 4);
    gl.viewport(viewport[0], viewport[1], viewport[2], viewport[3]);
    gl.clearColor(clear[0], clear[1], clear[2], clear[3]);
    gl.clear(gl.COLOR_BUFFER_BIT | gl.DEPTH_BUFFER_BIT);
    if (g._web_depth_test()) gl.enable(gl.DEPTH_TEST); else gl.disable(gl.DEPTH_TEST);
    if (g._web_blend()) gl.enable(gl.BLEND); else gl.disable(gl.BLEND);
    const vertices = g._web_vertices() >> 2;
    const vertexCount = g._web_vertex_count();
    const indices = g._web_indices() >> 2;
    const indexCount = g._web_index_count();
    if (indexCount > 0) {
      gl.bufferData(gl.ARRAY_BUFFER, g.HEAPF32.subarray(vertices, vertices + vertexCount * 8),
        gl.STREAM_DRAW);
      // The same triangles as last frame stay where they are; a scene of
      // fewer than 65536 vertices sends its indices in 16 bits.
      if (g._web_indices_changed() || indexType === null) {
        const all = g.HEAPU32.subarray(indices, indices + indexCount);
        indexType = vertexCount <= 65536 ? gl.UNSIGNED_SHORT : gl.UNSIGNED_INT;
        gl.bufferData(gl.ELEMENT_ARRAY_BUFFER,
          indexType === gl.UNSIGNED_SHORT ? Uint16Array.from(all) : all, gl.STATIC_DRAW);
      }
      gl.drawElements(gl.TRIANGLES, indexCount, indexType, 0);
    }
    drawText(g.UTF8ToString(g._web_text()));
  }

  // The 9 by 15 bitmap font's lines, in the colour each raster position was
  // lit with. With font.js (the desktop's font, from web/font.mjs) every
  // glyph is set pixel by pixel, its baseline at the raster position as GL
  // places a bitmap (the cell's lower left at the floor of the position, 3
  // rows of descent below it); without it, the browser's monospace font
  // stands in.
  function drawText(runs) {
    if (runs === shownText) return;
    shownText = runs;
    state.text = runs;
    const width = textCanvas.width;
    const height = textCanvas.height;
    text2d.clearRect(0, 0, width, height);
    const font = window.arrowsongFont;
    const image = font ? text2d.createImageData(width, height) : null;
    for (const run of runs.split('\n')) {
      if (!run) continue;
      const [x, y, r, g, b, ...rest] = run.split('\t');
      const line = rest.join('\t');
      const rgb = [r, g, b].map((c) => Math.round(Number(c) * 255));
      const left = Math.floor(Number(x));
      const baseline = height - Math.floor(height - Number(y));
      if (!font) {
        text2d.font = '15px monospace';
        text2d.fillStyle = `rgb(${rgb.join(', ')})`;
        for (let i = 0; i < line.length; i++) text2d.fillText(line[i], left + 9 * i, baseline);
        continue;
      }
      let pen = left;
      for (const ch of line) {
        const glyph = font[ch.charCodeAt(0)];
        if (!glyph) { pen += 9; continue; }
        glyph.rows.forEach((bits, row) => {
          const py = baseline - glyph.ascent + row;
          if (py < 0 || py >= height) return;
          for (let col = 0; col < bits.length; col++) {
            const px = pen + glyph.left + col;
            if (bits[col] !== '#' || px < 0 || px >= width) continue;
            const at = (py * width + px) * 4;
            image.data[at] = rgb[0];
            image.data[at + 1] = rgb[1];
            image.data[at + 2] = rgb[2];
            image.data[at + 3] = 255;
          }
        });
        pen += glyph.advance;
      }
    }
    if (image) text2d.putImageData(image, 0, 0);
  }

  // --- the window -----------------------------------------------------------

  let windowSize = [DESKTOP_SIZE, DESKTOP_SIZE];

  function resizeCanvases(width, height) {
    if (sceneCanvas.width === width && sceneCanvas.height === height) return;
    for (const canvas of [sceneCanvas, textCanvas]) {
      canvas.width = width;
      canvas.height = height;
    }
    // The page scales the window to its width, keeping its shape.
    windowBox.style.aspectRatio = `${width} / ${height}`;
    shownText = null;
    call(() => game._web_reshape(width, height));
  }

  // Full screen shows the scene at the screen's size; otherwise the canvas
  // keeps the desktop window's size in pixels and the page scales it.
  function fitWindow() {
    if (document.fullscreenElement === windowBox) {
      resizeCanvases(windowBox.clientWidth, windowBox.clientHeight);
    } else {
      resizeCanvases(windowSize[0], windowSize[1]);
    }
  }
  document.addEventListener('fullscreenchange', fitWindow);

  function takeWish() {
    const wish = game._web_take_wish();
    if (wish === 1 && windowBox.requestFullscreen) {
      windowBox.requestFullscreen().catch(() => {});
    } else if (wish === 2) {
      windowSize = [game._web_wish_width(), game._web_wish_height()];
      if (document.fullscreenElement) document.exitFullscreen().catch(() => {});
      else fitWindow();
    }
  }

  // --- the game -------------------------------------------------------------

  let game = null;
  // Events that arrive while a release waits for the worklet's pitches run
  // afterwards, in order.
  let judging = null;
  const waiting = [];

  // Calls into the game. Key q ends the program: the page then stops.
  function call(action) {
    if (!game || state.ended) return;
    try {
      action();
    } catch (error) {
      if (error && error.name === 'ExitStatus') end();
      else throw error;
    }
  }

  function end() {
    state.ended = true;
    stopAudio();
    setMessage('Arrowsong has ended (key q). Reload the page to play again.');
  }

  function whenFree(action) {
    if (judging) waiting.push(action);
    else action();
  }

  function turn() {
    if (state.ended) return;
    call(() => {
      const began = performance.now();
      if (game._web_turn()) {
        drawFrame();
        state.frames++;
        state.frameMs += performance.now() - began;
      }
      takeWish();
    });
    requestAnimationFrame(turn);
  }

  // --- audio ----------------------------------------------------------------

  const audio = {
    context: null,
    node: null,
    stream: null,
    source: null,
    wasm: null,
    sent: null, // the controls last posted
    reset: 0, // a reset request not yet posted
  };

  // The values the handlers left, to the worklet when they changed.
  function syncAudio() {
    if (!game || state.ended) return;
    audio.reset |= game._web_take_reset();
    const controls = {
      type: 'controls',
      tone: game._web_tone(),
      freq: game._web_freq(),
      listen: game._web_listen(),
      reset: audio.reset,
    };
    if (state.audio !== 'on') return;
    const last = audio.sent;
    if (last && !controls.reset && last.tone === controls.tone && last.freq === controls.freq &&
        last.listen === controls.listen) return;
    audio.node.port.postMessage(controls);
    audio.sent = controls;
    audio.reset = 0;
  }

  function failureText(error) {
    const name = error && error.name;
    const retry = ' Then press a key or touch the board to try again.';
    if (name === 'NoWorklet') {
      return 'This browser cannot run the game\'s audio: it has no AudioWorklet. ' +
        'Arrowsong plays in current Chrome, Edge, Firefox and Safari.';
    }
    if (name === 'NotAllowedError' || name === 'SecurityError') {
      return 'Arrowsong may not use the microphone. Allow the microphone for this page ' +
        '(in the address bar or the browser\'s site settings).' + retry;
    }
    if (name === 'NotFoundError' || name === 'OverconstrainedError' || name === 'NotReadableError') {
      return 'No microphone could be opened. Connect one, or free it from another program.' + retry;
    }
    return 'The audio could not start (' + (error && error.message ? error.message : error) + ').' +
      retry;
  }

  function stopAudio() {
    if (audio.stream) audio.stream.getTracks().forEach((track) => track.stop());
    if (audio.source) audio.source.disconnect();
    if (audio.node) audio.node.disconnect();
    audio.stream = audio.source = audio.node = null;
    audio.sent = null;
  }

  // On the first gesture (browsers start audio only after one), and again on
  // a later one after a failure.
  async function startAudio() {
    if (state.audio === 'starting' || state.audio === 'on' || state.ended) return;
    state.audio = 'starting';
    try {
      if (typeof AudioWorkletNode === 'undefined' || typeof AudioContext === 'undefined') {
        const error = new Error('no AudioWorklet');
        error.name = 'NoWorklet';
        throw error;
      }
      if (!navigator.mediaDevices || !navigator.mediaDevices.getUserMedia) {
        const error = new Error('no microphone access on this page');
        error.name = 'NotAllowedError';
        throw error;
      }
      if (!audio.context) {
        audio.context = new AudioContext({ sampleRate: RATE, latencyHint: 'interactive' });
        if (!audio.context.audioWorklet) {
          const error = new Error('no AudioWorklet');
          error.name = 'NoWorklet';
          throw error;
        }
      }
      const resumed = audio.context.resume();
      audio.stream = await navigator.mediaDevices.getUserMedia({
        audio: {
          echoCancellation: false, noiseSuppression: false, autoGainControl: false, channelCount: 1,
        },
      });
      await resumed;
      if (!audio.wasm) {
        await audio.context.audioWorklet.addModule('worklet.js');
        const response = await fetch('audio.wasm');
        if (!response.ok) throw new Error('audio.wasm: ' + response.status);
        audio.wasm = await response.arrayBuffer();
      }
      const node = new AudioWorkletNode(audio.context, 'arrowsong', {
        numberOfInputs: 1,
        numberOfOutputs: 1,
        outputChannelCount: [1],
        channelCount: 1,
        channelCountMode: 'explicit',
        processorOptions: { wasm: audio.wasm },
      });
      await new Promise((resolve, reject) => {
        const timer = setTimeout(() => reject(new Error('the audio worklet did not start')), 5000);
        node.onprocessorerror = () => { clearTimeout(timer); reject(new Error('the audio worklet failed')); };
        node.port.onmessage = (event) => {
          if (event.data.type === 'ready') { clearTimeout(timer); resolve(); }
        };
      });
      node.port.onmessage = (event) => onWorkletMessage(event.data);
      node.onprocessorerror = () => {
        stopAudio();
        state.audio = 'failed';
        setMessage('The audio stopped. Press a key or touch the board to start it again.');
      };
      audio.node = node;
      audio.source = audio.context.createMediaStreamSource(audio.stream);
      audio.source.connect(node);
      node.connect(audio.context.destination);
      state.audio = 'on';
      setMessage('');
      print(`Audio: ${audio.context.sampleRate} Hz, blocks of ${BLOCK} frames`);
      audio.sent = null;
      syncAudio();
    } catch (error) {
      stopAudio();
      state.audio = 'failed';
      setMessage(failureText(error));
    }
  }

  function onWorkletMessage(data) {
    if (data.type === 'pitches' && judging) finishRelease(data.pitches);
  }

  // --- input ----------------------------------------------------------------

  function gesture() {
    if (state.audio === 'off' || state.audio === 'failed') startAudio();
  }

  // Full screen must be asked for inside the key's own event.
  function key(code) {
    whenFree(() => {
      call(() => {
        game._web_key(code);
        takeWish();
      });
      syncAudio();
    });
  }

  function press(button) {
    whenFree(() => {
      call(() => game._web_mouse(button, 0));
      syncAudio();
    });
  }

  // A release of the left or right button is judged on the worklet's pitch
  // entries: it stops tone and listening there first and sends them back.
  function release(button) {
    whenFree(() => {
      if ((button !== 0 && button !== 2) || state.audio !== 'on') {
        call(() => game._web_mouse(button, 1));
        syncAudio();
        return;
      }
      judging = { button, timer: setTimeout(() => finishRelease(null), 2000) };
      audio.node.port.postMessage({ type: 'judge' });
    });
  }

  function finishRelease(pitches) {
    const { button, timer } = judging;
    clearTimeout(timer);
    judging = null;
    if (pitches) {
      call(() => {
        for (let i = 0; i < pitches.length; i++) game._web_set_pitch(i, pitches[i]);
      });
    }
    call(() => game._web_mouse(button, 1));
    audio.sent = null;
    syncAudio();
    while (waiting.length && !judging) waiting.shift()();
  }

  document.addEventListener('keydown', (event) => {
    if (event.ctrlKey || event.altKey || event.metaKey) return;
    if (event.key.length !== 1) return;
    const code = event.key.charCodeAt(0);
    if (code > 255) return;
    event.preventDefault();
    gesture();
    key(code);
  });

  let held = new Set();
  windowBox.addEventListener('mousedown', (event) => {
    event.preventDefault();
    windowBox.focus();
    gesture();
    held.add(event.button);
    press(event.button);
  });
  window.addEventListener('mouseup', (event) => {
    if (!held.delete(event.button)) return;
    release(event.button);
  });
  windowBox.addEventListener('contextmenu', (event) => event.preventDefault());

  // Keys for screens without a keyboard: space and /. They take no focus,
  // so the keyboard's space never presses them as well.
  for (const [id, code] of [['space', 32], ['reset', 47]]) {
    document.getElementById(id).addEventListener('pointerdown', (event) => {
      event.preventDefault();
      gesture();
      key(code);
    });
  }

  // A finger on the board is the left button.
  let touches = 0;
  windowBox.addEventListener('touchstart', (event) => {
    event.preventDefault();
    gesture();
    if (touches++ === 0) press(0);
  }, { passive: false });
  const lift = (event) => {
    event.preventDefault();
    touches = Math.max(0, touches - event.changedTouches.length);
    if (touches === 0) release(0);
  };
  windowBox.addEventListener('touchend', lift, { passive: false });
  windowBox.addEventListener('touchcancel', lift, { passive: false });

  // --- start ----------------------------------------------------------------

  if (!gl) {
    setMessage('This browser has no WebGL 2, which Arrowsong needs to draw the board.');
    return;
  }
  setUpGl();
  createArrowsong({
    print: (line) => print(line, false),
    printErr: (line) => print(line, true),
  }).then((module) => {
    game = module;
    fitWindow();
    requestAnimationFrame(turn);
  }, (error) => setMessage('The game could not load: ' + error));
})();
