// The console's shell: sign-in, the bar with its menu, and hash routing to
// the views. Each view gets a context with the signed-in key's name and role.
import { ApiError, session, whenUnauthorized, whoami, may } from './api.js';
import { h, replace } from './dom.js';
import { chooseLanguage, language, t } from './i18n.js';
import * as auditView from './views/audit.js';
import * as jobsView from './views/jobs.js';
import * as manyView from './views/many.js';
import * as moduleView from './views/module.js';
import * as modulesView from './views/modules.js';
import * as rolloutsView from './views/rollouts.js';

const kRoutes = {
  modules: modulesView,
  module: moduleView,
  jobs: jobsView,
  job: jobsView,
  audit: auditView,
  many: manyView,
  rollouts: rolloutsView,
  rollout: rolloutsView,
};

let user = null; // {name, role}
let generation = 0; // the current view's; a view's late work for an old one is dropped
const timers = [];

function parseHash() {
  const hash = location.hash.replace(/^#\/?/, '');
  const [path, search] = hash.split('?');
  const parts = path.split('/').filter(Boolean).map(decodeURIComponent);
  return { name: parts[0] || 'modules', argument: parts[1] || '', params: new URLSearchParams(search || '') };
}

function stopTimers() {
  while (timers.length) clearTimeout(timers.pop());
}

// Runs `work` now and every `ms` after it ends, while the view is shown.
function every(ms, work, mine) {
  const run = async () => {
    if (mine !== generation) return;
    try {
      await work();
    } catch (error) {
      if (!(error instanceof ApiError)) console.error(error);
    }
    if (mine === generation) timers.push(setTimeout(run, ms));
  };
  return run();
}

function confirmAction(text, yes) {
  const dialog = document.getElementById('confirm');
  document.getElementById('confirm-text').textContent = text;
  document.getElementById('confirm-yes').textContent = yes;
  document.getElementById('confirm-no').textContent = t('cancel');
  return new Promise((resolve) => {
    const done = (answer) => {
      dialog.close();
      document.getElementById('confirm-yes').onclick = null;
      document.getElementById('confirm-no').onclick = null;
      resolve(answer);
    };
    document.getElementById('confirm-yes').onclick = () => done(true);
    document.getElementById('confirm-no').onclick = () => done(false);
    dialog.oncancel = () => done(false);
    dialog.showModal();
  });
}

function renderBar(current) {
  document.documentElement.lang = language();
  document.title = t('title');
  document.getElementById('brand-name').textContent = t('title');
  const nav = document.getElementById('nav');
  const out = document.getElementById('sign-out');
  const who = document.getElementById('who');
  if (!user) {
    replace(nav);
    who.textContent = '';
    out.hidden = true;
    return;
  }
  const link = (name, label) =>
    h('a', { href: `#/${name}`, id: `nav-${name}`, class: current === name ? 'current' : null }, label);
  replace(nav, link('modules', t('nav.modules')), may(user.role, 'operator') ? link('many', t('nav.many')) : null,
    link('jobs', t('nav.jobs')), link('rollouts', t('nav.rollouts')), link('audit', t('nav.audit')));
  who.textContent = t('signedInAs', { name: user.name, role: t(`role.${user.role}`) });
  out.textContent = t('signOut');
  out.hidden = false;
}

function renderSignIn(view, message) {
  const key = h('input', { id: 'key', type: 'password', autocomplete: 'off', spellcheck: 'false', required: true });
  const error = h('p', { id: 'sign-in-error', class: 'error', role: 'alert' }, message || '');
  const submit = async (event) => {
    event.preventDefault();
    error.textContent = '';
    const text = key.value.trim();
    if (!text) return;
    try {
      user = await whoami(text);
      session.keep(text);
      if (!location.hash || location.hash === '#/signin') location.hash = '#/modules';
      else render();
    } catch (failure) {
      error.textContent = failure.status === 401 ? t('signIn.refused') : t('signIn.failed', { why: failure.message });
    }
  };
  replace(view, h('form', { class: 'card sign-in', id: 'sign-in', onsubmit: submit },
    h('h1', {}, t('signIn.title')),
    h('p', { class: 'muted' }, t('signIn.help')),
    h('label', { for: 'key' }, t('signIn.key')), key,
    h('button', { type: 'submit', id: 'sign-in-button', class: 'primary' }, t('signIn.button')),
    error));
  key.focus();
}

async function render() {
  stopTimers();
  const mine = ++generation;
  const view = document.getElementById('view');
  const route = parseHash();
  if (!user && session.key()) {
    try {
      user = await whoami(session.key());
    } catch (error) {
      if (error.status === 401) session.forget();
    }
    if (mine !== generation) return;
  }
  const page = kRoutes[route.name];
  renderBar(page ? route.name : '');
  if (!user) {
    renderSignIn(view);
    return;
  }
  if (!page) {
    replace(view, h('p', { class: 'error' }, t('notFound')));
    return;
  }
  const context = {
    user,
    route,
    view,
    t,
    confirm: confirmAction,
    every: (ms, work) => every(ms, work, mine),
    current: () => mine === generation,
    rerender: render,
  };
  replace(view);
  await page.render(context);
}

function signOut(message) {
  session.forget();
  user = null;
  stopTimers();
  ++generation;
  renderBar('');
  renderSignIn(document.getElementById('view'), message);
}

whenUnauthorized(() => signOut(t('signIn.expired')));
window.addEventListener('hashchange', render);
document.addEventListener('DOMContentLoaded', () => {
  const select = document.getElementById('lang');
  select.value = language();
  select.addEventListener('change', () => {
    chooseLanguage(select.value);
    render();
  });
  document.getElementById('sign-out').addEventListener('click', () => signOut(''));
  render();
});
